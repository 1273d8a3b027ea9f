#include "common/system_error.h"

#include <cerrno>
#include <cstring>

namespace tivaro {

std::string SystemErrorText(int errnum) {
    switch (errnum) {
        case ENOENT:
            return "bestand of map bestaat niet";
        case EACCES:
        case EPERM:
            return "geen toestemming";
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return "schijf vol";
        case EROFS:
            return "alleen-lezen bestandssysteem";
        case EISDIR:
            return "er staat een map met die naam";
        case ENOTDIR:
            return "een deel van het pad is geen map";
        case EEXIST:
            return "bestaat al";
        case EBUSY:
#ifdef ETXTBSY
        case ETXTBSY:
#endif
            return "in gebruik";
        case EIO:
            return "lees- of schrijffout van het apparaat";
        case ENAMETOOLONG:
            return "naam te lang";
        case EMFILE:
        case ENFILE:
            return "te veel open bestanden";
        case ENOMEM:
            return "te weinig geheugen";
        case EFBIG:
            return "bestand te groot";
        case ENODEV:
        case ENXIO:
            return "apparaat niet aanwezig";
        case EAGAIN:
            return "tijdelijk niet beschikbaar";
        default:
            return std::strerror(errnum);
    }
}

std::string SystemErrorText(const std::error_code& error) {
    if (error.category() == std::generic_category() || error.category() == std::system_category()) {
        return SystemErrorText(error.value());
    }
    return error.message();
}

}  // namespace tivaro
