// BUILDfile, BUILDkey and PACK: the key builds as file operations.
//
// A build needs the table open for writing with others denied writing; when
// the file is not open the operation opens it for the build alone (read and
// write, deny write) and closes it afterwards, the close's error becoming
// the result when the build had none. RS_FULLBUILD is a request for the
// next build only: BUILDfile and BUILDkey clear it whatever their outcome,
// PACK leaves it.
#pragma once

#include <cstdint>

#include "engine/table/operation_context.h"

namespace vantrose {

int32_t BuildFileOperation(OperationContext& context);  // BUILDfile
int32_t BuildKeyOperation(OperationContext& context);   // BUILDkey
int32_t PackOperation(OperationContext& context);       // PACK: BUILDfile, then the file is trimmed

}  // namespace vantrose
