// The COM class `CmdBarEvents`: the receiver of a command-bar button's
// Click(Ctrl, CancelDefault), bound through the button's connection point
// for the event interface _CommandBarButtonEvents.
#pragma once

#include <functional>

#include "win/com_util.h"

namespace lczs::win {

// DIID of the Office command-bar button's event interface.
extern const IID kDiidCommandBarButtonEvents;
// IID of the class's own (empty) interface in the type library.
extern const IID kIidCmdBarEventsOwn;

// Runs the Click handler; cancel_default is the host's by-reference flag.
using ClickCallback = std::function<void(IDispatch* ctrl, VARIANT_BOOL* cancel_default)>;

class CmdBarEvents final : public IDispatch {
 public:
  // A new object with one reference, receiving nothing until armed.
  static CmdBarEvents* create();

  // The handler that Click runs; an empty one makes Click do nothing.
  void arm(ClickCallback callback) { callback_ = std::move(callback); }
  void disarm() { callback_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* arg_err) override;

 private:
  CmdBarEvents();
  ~CmdBarEvents();
  LONG refs_ = 1;
  ClickCallback callback_;
};

}  // namespace lczs::win
