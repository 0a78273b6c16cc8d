// The socket layer reports errors with the Winsock numbers (100xx, 110xx) and
// their fixed texts, since numbers and texts reach the user. This maps errno
// and getaddrinfo codes onto those numbers.
#pragma once

#include <string>

namespace platform {

// Winsock numbers the program names.
enum WinsockError : int {
  kWsaNoError = 0,
  kWsaEINTR = 10004,
  kWsaEBADF = 10009,
  kWsaEACCES = 10013,
  kWsaEFAULT = 10014,
  kWsaEINVAL = 10022,
  kWsaEMFILE = 10024,
  kWsaEWOULDBLOCK = 10035,
  kWsaEINPROGRESS = 10036,
  kWsaEALREADY = 10037,
  kWsaENOTSOCK = 10038,
  kWsaEDESTADDRREQ = 10039,
  kWsaEMSGSIZE = 10040,
  kWsaEPROTOTYPE = 10041,
  kWsaENOPROTOOPT = 10042,
  kWsaEPROTONOSUPPORT = 10043,
  kWsaESOCKTNOSUPPORT = 10044,
  kWsaEOPNOTSUPP = 10045,
  kWsaEPFNOSUPPORT = 10046,
  kWsaEAFNOSUPPORT = 10047,
  kWsaEADDRINUSE = 10048,
  kWsaEADDRNOTAVAIL = 10049,
  kWsaENETDOWN = 10050,
  kWsaENETUNREACH = 10051,
  kWsaENETRESET = 10052,
  kWsaECONNABORTED = 10053,
  kWsaECONNRESET = 10054,
  kWsaENOBUFS = 10055,
  kWsaEISCONN = 10056,
  kWsaENOTCONN = 10057,
  kWsaESHUTDOWN = 10058,
  kWsaETOOMANYREFS = 10059,
  kWsaETIMEDOUT = 10060,
  kWsaECONNREFUSED = 10061,
  kWsaELOOP = 10062,
  kWsaENAMETOOLONG = 10063,
  kWsaEHOSTDOWN = 10064,
  kWsaEHOSTUNREACH = 10065,
  kWsaENOTEMPTY = 10066,
  kWsaEPROCLIM = 10067,
  kWsaEUSERS = 10068,
  kWsaEDQUOT = 10069,
  kWsaESTALE = 10070,
  kWsaEREMOTE = 10071,
  kWsaSYSNOTREADY = 10091,
  kWsaVERNOTSUPPORTED = 10092,
  kWsaNOTINITIALISED = 10093,
  kWsaHOST_NOT_FOUND = 11001,
  kWsaTRY_AGAIN = 11002,
  kWsaNO_RECOVERY = 11003,
  kWsaNO_DATA = 11004,
};

// The fixed text of a Winsock number; "Not a WinSock error" for any other.
std::string WinsockErrorText(int error);

// An errno value as a Winsock number (0 stays 0). Values without a Winsock
// counterpart map to the nearest one; EINVAL for the rest.
int WinsockErrorFromErrno(int err);

// A getaddrinfo result code as a Winsock number (EAI_SYSTEM uses `sysErrno`).
int WinsockErrorFromGai(int gaiCode, int sysErrno);

}  // namespace platform
