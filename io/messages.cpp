// Failures of the system and of libzip told in the user's words. The
// libraries' own texts are English ("Zip generic error ZIP_ERRNO") and say
// nothing a teacher can act on; what matters is the cause: a full disk, no
// permission, too little memory.
#include <zip.h>

#include <cerrno>
#include <string>

#include "io/internal.h"

namespace lczs::io::detail {

std::string errno_text(int err) {
  switch (err) {
    case ENOSPC: return "磁盘空间不足";
    case EDQUOT: return "磁盘配额已用完";
    case ENOMEM: return "内存不足";
    case EACCES:
    case EPERM: return "没有权限";
    case EROFS: return "磁盘或文件夹是只读的";
    case ENOENT: return "文件或文件夹不存在";
    case ENOTDIR: return "路径中有一段不是文件夹";
    case EISDIR: return "这是一个文件夹";
    case EEXIST: return "文件已存在";
    case ENAMETOOLONG: return "文件名过长";
    case ELOOP: return "符号链接层数过多";
    case EMFILE:
    case ENFILE: return "打开的文件过多";
    case EBUSY:
    case ETXTBSY: return "文件正被占用";
    case EFBIG: return "文件过大";
    case EIO: return "磁盘读写出错";
    case EXDEV: return "不能跨磁盘改名";
    case EINTR: return "操作被中断";
    default: return "系统错误（代码 " + std::to_string(err) + "）";
  }
}

std::string zip_error_text(int zip_error, int system_error) {
  switch (zip_error) {
    case ZIP_ER_MEMORY: return "内存不足";
    case ZIP_ER_READ:
    case ZIP_ER_WRITE:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
    case ZIP_ER_OPEN:
    case ZIP_ER_CLOSE:
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_RENAME:
    case ZIP_ER_REMOVE:
      return system_error != 0 ? errno_text(system_error) : "读写出错";
    case ZIP_ER_CRC: return "数据校验失败";
    case ZIP_ER_EOF: return "文件不完整（可能已截断）";
    case ZIP_ER_NOZIP: return "不是 zip 压缩包";
    case ZIP_ER_INCONS: return "压缩包的目录与内容不一致";
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA: return "压缩数据已损坏";
    case ZIP_ER_COMPNOTSUPP: return "使用了不支持的压缩方式";
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD: return "内容已加密";
    case ZIP_ER_MULTIDISK: return "分卷压缩包不受支持";
    case ZIP_ER_NOENT: return "缺少部件";
    default: return "压缩包错误（代码 " + std::to_string(zip_error) + "）";
  }
}

}  // namespace lczs::io::detail
