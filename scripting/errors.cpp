#include "scripting/errors.h"

#include "runtime/dispatch.h"

#include <cerrno>

namespace scripting {

std::u16string_view errorText(int number) {
    switch (number) {
    case err::InvalidCall: return u"Invalid procedure call or argument";
    case err::OutOfMemory: return u"Out of memory";
    case err::TypeMismatch: return u"Type mismatch";
    case err::BadFileName: return u"Bad file name or number";
    case err::FileNotFound: return u"File not found";
    case err::BadFileMode: return u"Bad file mode";
    case err::FileAlreadyOpen: return u"File already open";
    case err::DeviceIoError: return u"Device I/O error";
    case err::FileAlreadyExists: return u"File already exists";
    case err::DiskFull: return u"Disk full";
    case err::InputPastEnd: return u"Input past end of file";
    case err::DeviceUnavailable: return u"Device unavailable";
    case err::PermissionDenied: return u"Permission denied";
    case err::PathFileAccess: return u"Path/File access error";
    case err::PathNotFound: return u"Path not found";
    case err::KeyExists: return u"This key is already associated with an element of this collection";
    case err::ElementNotFound: return u"Element not found";
    default: return u"Unknown runtime error";
    }
}

HRESULT raise(std::u16string_view source, int number, std::u16string_view detail) {
    std::u16string text(errorText(number));
    if (!detail.empty()) {
        text += u": ";
        text += detail;
    }
    qrt::setErrorInfo(source, text);
    return errorStatus(number);
}

int errorOfErrno(int error) {
    switch (error) {
    case ENOENT: return err::FileNotFound;
    case ENOTDIR: return err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return err::PermissionDenied;
    case EEXIST: return err::FileAlreadyExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return err::DiskFull;
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP: return err::BadFileName;
    case ENOMEM: return err::OutOfMemory;
    case EBUSY: return err::PermissionDenied;
    case ENODEV:
    case ENXIO: return err::DeviceUnavailable;
    default: return err::DeviceIoError;
    }
}

}  // namespace scripting
