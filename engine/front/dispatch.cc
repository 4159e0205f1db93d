#include "engine/front/dispatch.h"

#include <array>

#include "engine/front/entry_operations.h"
#include "engine/front/file_operations.h"
#include "engine/front/operations.h"
#include "engine/front/table_open.h"
#include "engine/table/key_maintenance.h"
#include "runtime/error_state.h"

namespace vantrose {
namespace {

// Dispatched operations whose layer is not in the engine yet.
int32_t NotYetAvailable(OperationContext&) { return ERR_UNSUPPORTED_FUNCTION; }

struct Dispatch {
  int32_t operation;
  OperationHandler handler;
};

// Every dispatched code with its handler. Codes absent here answer 80:
// 0, 35, 39, ADDfilelen, GETfileptrlen, PUTfileptrlen, APPENDlen, NULL,
// SETNULL, SETNONULL, BUFFER, SETview, RESETviewfile, 87, DO_PROPERTY,
// DOPROPERTYkey, DOPROPERTYblob; QUERY_VIEW never gets this far.
//
// Code 91 would answer the entry's own address, which a 32-bit result cannot
// carry in a 64-bit process; a truncated address would be a wrong answer, so
// it answers 80 like the other codes without a handler.
constexpr Dispatch kDispatch[] = {
    {op::ADD, NotYetAvailable},           {op::BOF, NotYetAvailable},
    {op::BUILDfile, NotYetAvailable},     {op::APPEND, NotYetAvailable},
    {op::BUILDdyn, NotYetAvailable},      {op::BUILDkey, NotYetAvailable},
    {op::CLOSE, CloseOperation},          {op::COMMIT, NotYetAvailable},
    {op::COPY, CopyOperation},            {op::CREATE, CreateOperation},
    {op::DELETE, NotYetAvailable},        {op::DUPLICATE, DuplicateOperation},
    {op::EMPTY, NotYetAvailable},         {op::EOF_, NotYetAvailable},
    {op::GETfilekey, NotYetAvailable},    {op::GETfileptr, NotYetAvailable},
    {op::GETkeyptr, NotYetAvailable},     {op::HOLDfile, NotYetAvailable},
    {op::HOLDfilesec, NotYetAvailable},   {op::LOCKfile, NotYetAvailable},
    {op::LOCKfilesec, NotYetAvailable},   {op::LOGOUT, NotYetAvailable},
    {op::NAME, NameOperation},            {op::NEXT, NotYetAvailable},
    {op::OPEN, OpenOperation},            {op::PACK, NotYetAvailable},
    {op::POINTERfile, NotYetAvailable},   {op::POINTERkey, NotYetAvailable},
    {op::FLUSH, NotYetAvailable},         {op::PUT, NotYetAvailable},
    {op::PREVIOUS, NotYetAvailable},      {op::RECORDSfile, NotYetAvailable},
    {op::RECORDSkey, NotYetAvailable},    {op::BUILDdynfilter, NotYetAvailable},
    {op::RELEASE, NotYetAvailable},       {op::REMOVE, RemoveOperation},
    {op::RENAME, RenameOperation},        {op::ROLLBACK, NotYetAvailable},
    {op::SETfile, NotYetAvailable},       {op::SETfilekey, NotYetAvailable},
    {op::SETfileptr, NotYetAvailable},    {op::SETkey, NotYetAvailable},
    {op::SETkeykey, NotYetAvailable},     {op::SETkeyptr, NotYetAvailable},
    {op::SETkeykeyptr, NotYetAvailable},  {op::SHARE, OpenOperation},
    {op::SKIP, NotYetAvailable},          {op::UNLOCK, NotYetAvailable},
    {op::BYTES, NotYetAvailable},         {op::PUTfileptr, NotYetAvailable},
    {op::STREAM, StreamOperation},        {op::DUPLICATEkey, DuplicateKeyOperation},
    {op::WATCH, NotYetAvailable},         {op::SEND, NotYetAvailable},
    {op::POSITIONfile, NotYetAvailable},  {op::POSITIONkey, NotYetAvailable},
    {op::RESETfile, NotYetAvailable},     {op::RESETkey, NotYetAvailable},
    {op::NOMEMO, NotYetAvailable},        {op::REGETfile, NotYetAvailable},
    {op::REGETkey, NotYetAvailable},      {op::SET_PROPERTY, NotYetAvailable},
    {op::GET_PROPERTY, NotYetAvailable},  {op::QUERY_KEY, QueryKeyOperation},
    {op::BLOB_YIELD, NotYetAvailable},    {op::BLOB_TAKE, NotYetAvailable},
    {op::BLOB_SIZE, NotYetAvailable},     {op::BLOB_GET_PROP, NotYetAvailable},
    {op::BLOB_SET_PROP, NotYetAvailable}, {op::CLEAR, NotYetAvailable},
    {op::BUILDevent, NotYetAvailable},    {op::SETPROPERTYkey, NotYetAvailable},
    {op::GETPROPERTYkey, NotYetAvailable}, {op::INVIEW, InViewOperation},
    {op::ENDVIEW, EndViewOperation},
};

std::array<OperationHandler, op::kCount>& Handlers() {
  static std::array<OperationHandler, op::kCount> handlers = [] {
    std::array<OperationHandler, op::kCount> table{};
    for (const Dispatch& entry : kDispatch) table[static_cast<size_t>(entry.operation)] = entry.handler;
    return table;
  }();
  return handlers;
}

}  // namespace

OperationHandler DispatchedHandler(int32_t operation) {
  if (operation < 0 || operation >= op::kCount) return nullptr;
  return Handlers()[static_cast<size_t>(operation)];
}

ScopedHandlerOverride::ScopedHandlerOverride(int32_t operation, OperationHandler handler)
    : operation_(operation), previous_(DispatchedHandler(operation)) {
  Handlers()[static_cast<size_t>(operation)] = handler;
}

ScopedHandlerOverride::~ScopedHandlerOverride() {
  Handlers()[static_cast<size_t>(operation_)] = previous_;
}

}  // namespace vantrose
