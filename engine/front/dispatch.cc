#include "engine/front/dispatch.h"

#include <array>

#include "engine/front/build_operations.h"
#include "engine/front/entry_operations.h"
#include "engine/front/file_operations.h"
#include "engine/front/operations.h"
#include "engine/front/table_open.h"
#include "engine/table/data_records.h"
#include "engine/table/end_operation.h"
#include "engine/table/record_updates.h"
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
    {op::ADD, AddOperation},           {op::BOF, BofOperation},
    {op::BUILDfile, BuildFileOperation},     {op::APPEND, AppendOperation},
    {op::BUILDdyn, BuildDynamicOperation},      {op::BUILDkey, BuildKeyOperation},
    {op::CLOSE, CloseOperation},          {op::COMMIT, NotYetAvailable},
    {op::COPY, CopyOperation},            {op::CREATE, CreateOperation},
    {op::DELETE, DeleteOperation},        {op::DUPLICATE, DuplicateOperation},
    {op::EMPTY, EmptyOperation},         {op::EOF_, EofOperation},
    {op::GETfilekey, GetFileKeyOperation},    {op::GETfileptr, GetFilePointerOperation},
    {op::GETkeyptr, GetFilePointerOperation},     {op::HOLDfile, HoldOperation},
    {op::HOLDfilesec, HoldSecondsOperation},   {op::LOCKfile, NotYetAvailable},
    {op::LOCKfilesec, NotYetAvailable},   {op::LOGOUT, NotYetAvailable},
    {op::NAME, NameOperation},            {op::NEXT, NextOperation},
    {op::OPEN, OpenOperation},            {op::PACK, PackOperation},
    {op::POINTERfile, PointerOperation},   {op::POINTERkey, PointerOperation},
    {op::FLUSH, FlushOperation},         {op::PUT, PutOperation},
    {op::PREVIOUS, PreviousOperation},      {op::RECORDSfile, RecordsFileOperation},
    {op::RECORDSkey, RecordsKeyOperation},    {op::BUILDdynfilter, BuildDynamicFilterOperation},
    {op::RELEASE, ReleaseOperation},       {op::REMOVE, RemoveOperation},
    {op::RENAME, RenameOperation},        {op::ROLLBACK, NotYetAvailable},
    {op::SETfile, SetFileOperation},       {op::SETfilekey, SetFileKeyOperation},
    {op::SETfileptr, SetFilePointerOperation},    {op::SETkey, SetKeyOperation},
    {op::SETkeykey, SetKeyKeyOperation},     {op::SETkeyptr, SetKeyPointerOperation},
    {op::SETkeykeyptr, SetKeyKeyPointerOperation},  {op::SHARE, OpenOperation},
    {op::SKIP, SkipOperation},          {op::UNLOCK, NotYetAvailable},
    {op::BYTES, BytesOperation},         {op::PUTfileptr, PutFilePointerOperation},
    {op::STREAM, StreamOperation},        {op::DUPLICATEkey, DuplicateKeyOperation},
    {op::WATCH, WatchOperation},         {op::SEND, NotYetAvailable},
    {op::POSITIONfile, PositionFileOperation},  {op::POSITIONkey, PositionKeyOperation},
    {op::RESETfile, ResetFileOperation},     {op::RESETkey, ResetKeyOperation},
    {op::NOMEMO, NomemoOperation},        {op::REGETfile, RegetFileOperation},
    {op::REGETkey, RegetKeyOperation},      {op::SET_PROPERTY, NotYetAvailable},
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
