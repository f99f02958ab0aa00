// The COM class `addin`: the host's add-in interface IDTExtensibility2 over
// the shell's connection class, and the add-in's module state.
#pragma once

#include "win/com_util.h"

namespace lczs::win {

extern const IID kIidIDTExtensibility2;

// The interface as the host calls it: dual, derived from IDispatch.
struct IDTExtensibility2 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, int connect_mode,
                                                 IDispatch* addin_inst, SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnection(int remove_mode, SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) = 0;
};

// A new `addin` object with one reference.
IDTExtensibility2* create_addin();

// Drops the module state (the shell's add-in, the application wrappers)
// once no object of the DLL is alive any more.
void release_addin_module();

}  // namespace lczs::win
