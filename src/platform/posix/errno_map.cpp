#include <cerrno>

#include "platform/result_code.h"

namespace keldrive {

ResultCode ResultFromErrno(int errnoValue) {
  switch (errnoValue) {
    case 0:
      return result::kSuccess;
    case ENOENT:
      return result::kFileNotFound;
    case ENOTDIR:
      return result::kPathNotFound;
    case EMFILE:
    case ENFILE:
      return result::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
      return result::kAccessDenied;
    case EBADF:
      return result::kInvalidHandle;
    case ENOMEM:
      return result::kNotEnoughMemory;
    case EROFS:
      return result::kWriteProtect;
    case ENXIO:
    case ENODEV:
#ifdef ENOMEDIUM  // Linux's; the Windows C runtime has no such value
    case ENOMEDIUM:
#endif
      return result::kNotReady;
    case ETXTBSY:
      return result::kSharingViolation;
    case EBUSY:
      return result::kBusy;
    case ENOTSUP:
    case ENOTTY:
    case ENOSYS:
      return result::kNotSupported;
    case EINVAL:
    case ERANGE:
    case EOVERFLOW:
    case ESPIPE:
      return result::kInvalidParameter;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return result::kDiskFull;
    case EEXIST:
      return result::kAlreadyExists;
    case ENOTEMPTY:
      return result::kDirNotEmpty;
    case ENAMETOOLONG:
      return result::kFilenameTooLong;
    case EISDIR:
      return result::kDirectory;
    case EILSEQ:
      return result::kInvalidName;
    default:
      return result::kIoDevice;
  }
}

}  // namespace keldrive
