#include "engine/front/operations.h"

#include <array>

namespace vantrose {
namespace {

constexpr std::array<std::string_view, op::kCount> kNames = {
    "(0)", "ADD", "BOF", "BUILDfile", "APPEND", "BUILDdyn",
    "BUILDkey", "CLOSE", "COMMIT", "COPY", "CREATE", "DELETE",
    "DUPLICATE", "EMPTY", "EOF", "GETfilekey", "GETfileptr", "GETkeyptr",
    "HOLDfile", "HOLDfilesec", "LOCKfile", "LOCKfilesec", "LOGOUT", "NAME",
    "NEXT", "OPEN", "PACK", "POINTERfile", "POINTERkey", "FLUSH",
    "PUT", "PREVIOUS", "RECORDSfile", "RECORDSkey", "BUILDdynfilter", "(35)",
    "RELEASE", "REMOVE", "RENAME", "(39)", "ROLLBACK", "SETfile",
    "SETfilekey", "SETfileptr", "SETkey", "SETkeykey", "SETkeyptr", "SETkeykeyptr",
    "SHARE", "SKIP", "UNLOCK", "ADDfilelen", "BYTES", "GETfileptrlen",
    "PUTfileptr", "PUTfileptrlen", "STREAM", "DUPLICATEkey", "WATCH", "APPENDlen",
    "SEND", "POSITIONfile", "POSITIONkey", "RESETfile", "RESETkey", "NOMEMO",
    "REGETfile", "REGETkey", "NULL", "SETNULL", "SETNONULL", "SET_PROPERTY",
    "GET_PROPERTY", "QUERY_KEY", "QUERY_VIEW", "BLOB_YIELD", "BLOB_TAKE", "BLOB_SIZE",
    "BLOB_GET_PROP", "BLOB_SET_PROP", "BUFFER", "SETview", "CLEAR", "RESETviewfile",
    "BUILDevent", "SETPROPERTYkey", "GETPROPERTYkey", "Internal", "DO_PROPERTY", "DOPROPERTYkey",
    "DOPROPERTYblob", "Internal", "INVIEW", "ENDVIEW",
};

}  // namespace

std::string_view OperationName(int32_t code) {
  if (code < 0 || code >= op::kCount) return "(?)";
  return kNames[static_cast<size_t>(code)];
}

}  // namespace vantrose
