// Winsock numbers and texts, and the mapping from errno and getaddrinfo.
#include "platform/WinsockErrors.h"

#include <netdb.h>

#include <cerrno>

namespace platform {

std::string WinsockErrorText(int error) {
  switch (error) {
    case 0: return "No Error";
    case 10004: return "Interrupted system call";
    case 10009: return "Bad file number";
    case 10013: return "Permission denied";
    case 10014: return "Bad address";
    case 10022: return "Invalid argument";
    case 10024: return "Too many open files";
    case 10035: return "Operation would block";
    case 10036: return "Operation now in progress";
    case 10037: return "Operation already in progress";
    case 10038: return "Socket operation on non-socket";
    case 10039: return "Destination address required";
    case 10040: return "Message too long";
    case 10041: return "Protocol wrong type for socket";
    case 10042: return "Protocol not available";
    case 10043: return "Protocol not supported";
    case 10044: return "Socket type not supported";
    case 10045: return "Operation not supported on socket";
    case 10046: return "Protocol family not supported";
    case 10047: return "Address family not supported by protocol family";
    case 10048: return "Address already in use";
    case 10049: return "Address not available";
    case 10050: return "Network is down";
    case 10051: return "Network is unreachable";
    case 10052: return "Network dropped connection on reset";
    case 10053: return "Connection aborted";
    case 10054: return "Connection reset by peer";
    case 10055: return "No buffer space available";
    case 10056: return "Socket is already connected";
    case 10057: return "Socket is not connected";
    case 10058: return "Can't send after socket shutdown";
    case 10059: return "Too many references: can't splice";
    case 10060: return "Connection timed out";
    case 10061: return "Connection refused";
    case 10062: return "Too many levels of symbolic links";
    case 10063: return "File name too long";
    case 10064: return "Host is down";
    case 10065: return "No route to host";
    case 10066: return "Directory not empty";
    case 10067: return "Too many processes";
    case 10068: return "Too many users";
    case 10069: return "Disc quota exceeded";
    case 10070: return "Stale NFS file handle";
    case 10071: return "Too many levels of remote in path";
    case 10091: return "Network sub-system is unusable";
    case 10092: return "WinSock DLL cannot support this application";
    case 10093: return "WinSock not initialized";
    case 11001: return "Host not found";
    case 11002: return "Non-authoritative host not found";
    case 11003: return "Non-recoverable error";
    case 11004: return "No Data";
    default: return "Not a WinSock error";
  }
}

int WinsockErrorFromErrno(int err) {
  switch (err) {
    case 0: return 0;
    case EINTR: return kWsaEINTR;
    case EBADF: return kWsaEBADF;
    case EACCES:
    case EPERM: return kWsaEACCES;
    case EFAULT: return kWsaEFAULT;
    case EINVAL: return kWsaEINVAL;
    case EMFILE:
    case ENFILE: return kWsaEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK: return kWsaEWOULDBLOCK;
    case EINPROGRESS: return kWsaEINPROGRESS;
    case EALREADY: return kWsaEALREADY;
    case ENOTSOCK: return kWsaENOTSOCK;
    case EDESTADDRREQ: return kWsaEDESTADDRREQ;
    case EMSGSIZE: return kWsaEMSGSIZE;
    case EPROTOTYPE: return kWsaEPROTOTYPE;
    case ENOPROTOOPT: return kWsaENOPROTOOPT;
    case EPROTONOSUPPORT: return kWsaEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return kWsaESOCKTNOSUPPORT;
    case EOPNOTSUPP: return kWsaEOPNOTSUPP;
    case EPFNOSUPPORT: return kWsaEPFNOSUPPORT;
    case EAFNOSUPPORT: return kWsaEAFNOSUPPORT;
    case EADDRINUSE: return kWsaEADDRINUSE;
    case EADDRNOTAVAIL: return kWsaEADDRNOTAVAIL;
    case ENETDOWN: return kWsaENETDOWN;
    case ENETUNREACH: return kWsaENETUNREACH;
    case ENETRESET: return kWsaENETRESET;
    case ECONNABORTED: return kWsaECONNABORTED;
    case ECONNRESET: return kWsaECONNRESET;
    case ENOBUFS:
    case ENOMEM: return kWsaENOBUFS;
    case EISCONN: return kWsaEISCONN;
    case ENOTCONN: return kWsaENOTCONN;
    case ESHUTDOWN:
    case EPIPE: return kWsaESHUTDOWN;
    case ETOOMANYREFS: return kWsaETOOMANYREFS;
    case ETIMEDOUT: return kWsaETIMEDOUT;
    case ECONNREFUSED: return kWsaECONNREFUSED;
    case ELOOP: return kWsaELOOP;
    case ENAMETOOLONG: return kWsaENAMETOOLONG;
    case EHOSTDOWN: return kWsaEHOSTDOWN;
    case EHOSTUNREACH: return kWsaEHOSTUNREACH;
    case ENOTEMPTY: return kWsaENOTEMPTY;
    case EUSERS: return kWsaEUSERS;
    case EDQUOT: return kWsaEDQUOT;
    case ESTALE: return kWsaESTALE;
    case EREMOTE: return kWsaEREMOTE;
    default: return kWsaEINVAL;
  }
}

int WinsockErrorFromGai(int gaiCode, int sysErrno) {
  switch (gaiCode) {
    case 0: return 0;
#ifdef EAI_NODATA
    case EAI_NODATA: return kWsaNO_DATA;
#endif
    case EAI_NONAME:
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
      return kWsaHOST_NOT_FOUND;
    case EAI_AGAIN: return kWsaTRY_AGAIN;
    case EAI_FAIL: return kWsaNO_RECOVERY;
    case EAI_MEMORY: return kWsaENOBUFS;
    case EAI_FAMILY: return kWsaEAFNOSUPPORT;
    case EAI_SERVICE:
    case EAI_SOCKTYPE: return kWsaEINVAL;
    case EAI_SYSTEM: return sysErrno ? WinsockErrorFromErrno(sysErrno) : kWsaNO_RECOVERY;
    default: return kWsaNO_RECOVERY;
  }
}

}  // namespace platform
