// The names of the status codes a plant connection meets.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "opc/ua/UaTypes.h"

namespace {

struct Named {
  UaStatusCode Code;
  const char* Name;
};

// Sorted by code.
constexpr Named StatusNames[] = {
    {0x00000000, "Good"},
    {0x40000000, "Uncertain"},
    {0x80000000, "Bad"},
    {0x80010000, "BadUnexpectedError"},
    {0x80020000, "BadInternalError"},
    {0x80030000, "BadOutOfMemory"},
    {0x80040000, "BadResourceUnavailable"},
    {0x80050000, "BadCommunicationError"},
    {0x80060000, "BadEncodingError"},
    {0x80070000, "BadDecodingError"},
    {0x80080000, "BadEncodingLimitsExceeded"},
    {0x80090000, "BadUnknownResponse"},
    {0x800A0000, "BadTimeout"},
    {0x800B0000, "BadServiceUnsupported"},
    {0x800C0000, "BadShutdown"},
    {0x800D0000, "BadServerNotConnected"},
    {0x800E0000, "BadServerHalted"},
    {0x800F0000, "BadNothingToDo"},
    {0x80100000, "BadTooManyOperations"},
    {0x80110000, "BadDataTypeIdUnknown"},
    {0x80120000, "BadCertificateInvalid"},
    {0x80130000, "BadSecurityChecksFailed"},
    {0x80140000, "BadCertificateTimeInvalid"},
    {0x80150000, "BadCertificateIssuerTimeInvalid"},
    {0x80160000, "BadCertificateHostNameInvalid"},
    {0x80170000, "BadCertificateUriInvalid"},
    {0x80180000, "BadCertificateUseNotAllowed"},
    {0x80190000, "BadCertificateIssuerUseNotAllowed"},
    {0x801A0000, "BadCertificateUntrusted"},
    {0x801B0000, "BadCertificateRevocationUnknown"},
    {0x801C0000, "BadCertificateIssuerRevocationUnknown"},
    {0x801D0000, "BadCertificateRevoked"},
    {0x801E0000, "BadCertificateIssuerRevoked"},
    {0x801F0000, "BadUserAccessDenied"},
    {0x80200000, "BadIdentityTokenInvalid"},
    {0x80210000, "BadIdentityTokenRejected"},
    {0x80220000, "BadSecureChannelIdInvalid"},
    {0x80230000, "BadInvalidTimestamp"},
    {0x80240000, "BadNonceInvalid"},
    {0x80250000, "BadSessionIdInvalid"},
    {0x80260000, "BadSessionClosed"},
    {0x80270000, "BadSessionNotActivated"},
    {0x80280000, "BadSubscriptionIdInvalid"},
    {0x802A0000, "BadRequestHeaderInvalid"},
    {0x802B0000, "BadTimestampsToReturnInvalid"},
    {0x802C0000, "BadRequestCancelledByClient"},
    {0x80310000, "BadNoCommunication"},
    {0x80320000, "BadWaitingForInitialData"},
    {0x80330000, "BadNodeIdInvalid"},
    {0x80340000, "BadNodeIdUnknown"},
    {0x80350000, "BadAttributeIdInvalid"},
    {0x80360000, "BadIndexRangeInvalid"},
    {0x80370000, "BadIndexRangeNoData"},
    {0x80380000, "BadDataEncodingInvalid"},
    {0x80390000, "BadDataEncodingUnsupported"},
    {0x803A0000, "BadNotReadable"},
    {0x803B0000, "BadNotWritable"},
    {0x803C0000, "BadOutOfRange"},
    {0x803D0000, "BadNotSupported"},
    {0x803E0000, "BadNotFound"},
    {0x803F0000, "BadObjectDeleted"},
    {0x80400000, "BadNotImplemented"},
    {0x80410000, "BadMonitoringModeInvalid"},
    {0x80420000, "BadMonitoredItemIdInvalid"},
    {0x80430000, "BadMonitoredItemFilterInvalid"},
    {0x80440000, "BadMonitoredItemFilterUnsupported"},
    {0x80450000, "BadFilterNotAllowed"},
    {0x804A0000, "BadContinuationPointInvalid"},
    {0x804B0000, "BadNoContinuationPoints"},
    {0x804C0000, "BadReferenceTypeIdInvalid"},
    {0x804D0000, "BadBrowseDirectionInvalid"},
    {0x804E0000, "BadNodeNotInView"},
    {0x80530000, "BadRequestTypeInvalid"},
    {0x80540000, "BadSecurityModeRejected"},
    {0x80550000, "BadSecurityPolicyRejected"},
    {0x80560000, "BadTooManySessions"},
    {0x80730000, "BadWriteNotSupported"},
    {0x80740000, "BadTypeMismatch"},
    {0x80780000, "BadTooManyPublishRequests"},
    {0x80790000, "BadNoSubscription"},
    {0x807A0000, "BadSequenceNumberUnknown"},
    {0x807D0000, "BadTcpServerTooBusy"},
    {0x807E0000, "BadTcpMessageTypeInvalid"},
    {0x807F0000, "BadTcpSecureChannelUnknown"},
    {0x80800000, "BadTcpMessageTooLarge"},
    {0x80810000, "BadTcpNotEnoughResources"},
    {0x80820000, "BadTcpInternalError"},
    {0x80830000, "BadTcpEndpointUrlInvalid"},
    {0x80840000, "BadRequestInterrupted"},
    {0x80850000, "BadRequestTimeout"},
    {0x80860000, "BadSecureChannelClosed"},
    {0x80870000, "BadSecureChannelTokenUnknown"},
    {0x80880000, "BadSequenceNumberInvalid"},
    {0x80890000, "BadConfigurationError"},
    {0x808A0000, "BadNotConnected"},
    {0x808B0000, "BadDeviceFailure"},
    {0x808C0000, "BadSensorFailure"},
    {0x808D0000, "BadOutOfService"},
    {0x80AB0000, "BadInvalidArgument"},
    {0x80AC0000, "BadConnectionRejected"},
    {0x80AD0000, "BadDisconnect"},
    {0x80AE0000, "BadConnectionClosed"},
    {0x80AF0000, "BadInvalidState"},
    {0x80B80000, "BadRequestTooLarge"},
    {0x80B90000, "BadResponseTooLarge"},
    {0x80BE0000, "BadProtocolVersionUnsupported"},
};

const Named* Find(UaStatusCode code) {
  // The low 16 bits carry flags (limits, overflow), not the meaning.
  const UaStatusCode meaning = code & 0xFFFF0000u;
  const auto it = std::lower_bound(std::begin(StatusNames), std::end(StatusNames), meaning,
                                   [](const Named& n, UaStatusCode c) { return n.Code < c; });
  return it != std::end(StatusNames) && it->Code == meaning ? it : nullptr;
}

// What the codes an engineer meets most mean; sorted by code.
constexpr Named Sentences[] = {
    {0x80020000, "the server failed inside"},
    {0x80030000, "the server ran out of memory"},
    {0x80040000, "the server has no resources left for the request"},
    {0x80050000, "the server could not reach what it needed"},
    {0x80070000, "the server could not decode the request"},
    {0x800A0000, "the operation did not end in time"},
    {0x800B0000, "the server does not offer this service"},
    {0x800C0000, "the server is shutting down"},
    {0x800E0000, "the server has stopped"},
    {0x80100000, "the request asks for more operations than the server takes at once"},
    {0x801F0000, "the user may not do this"},
    {0x80250000, "the server does not know the session"},
    {0x80260000, "the server has closed the session"},
    {0x80330000, "the text is not a valid node id"},
    {0x80340000, "the server does not know the node"},
    {0x80350000, "the node has no such attribute"},
    {0x803A0000, "the value may not be read"},
    {0x803B0000, "the value may not be written"},
    {0x803C0000, "the value is outside the node's range"},
    {0x803D0000, "the server does not support this"},
    {0x804A0000, "the server does not know the continuation point"},
    {0x804B0000, "the server has no continuation points left"},
    {0x80560000, "the server takes no more sessions"},
    {0x80740000, "the value is not of the node's data type"},
    {0x808A0000, "the server has no connection to the device"},
    {0x808B0000, "the device has failed"},
    {0x808C0000, "the sensor has failed"},
    {0x808D0000, "the device is out of service"},
};

}  // namespace

std::string UaStatusName(UaStatusCode code) {
  if (const Named* known = Find(code)) return known->Name;
  const char* severity = UaIsGood(code) ? "Good" : UaIsBad(code) ? "Bad" : "Uncertain";
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", code);
  return std::string(severity) + " " + hex;
}

std::string UaStatusText(UaStatusCode code) {
  const UaStatusCode meaning = code & 0xFFFF0000u;
  const auto it = std::lower_bound(std::begin(Sentences), std::end(Sentences), meaning,
                                   [](const Named& n, UaStatusCode c) { return n.Code < c; });
  std::string sentence;
  if (it != std::end(Sentences) && it->Code == meaning)
    sentence = it->Name;
  else if (!Find(code))
    sentence = UaIsBad(code) ? "a failure whose code this program does not know"
                             : "a status whose code this program does not know";
  else
    sentence = UaIsBad(code)    ? "the server refused or failed"
               : UaIsGood(code) ? "success"
                                : "the server is not sure";
  return UaStatusName(code) + " (" + sentence + ")";
}
