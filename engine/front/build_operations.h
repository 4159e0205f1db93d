// BUILDfile, BUILDkey, PACK, BUILDdyn and BUILDdynfilter: the key builds as
// file operations.
//
// A build needs the table open for writing with others denied writing; when
// the file is not open BUILDfile, BUILDkey and PACK open it for the build
// alone (read and write, deny write) and close it afterwards, the close's
// error becoming the result when the build had none. RS_FULLBUILD is a
// request for the next build only: every build but PACK clears it whatever
// its outcome.
//
// BUILDdyn and BUILDdynfilter build a dynamic index of the open table from a
// component text (engine/table/component_text.h), BUILDdynfilter with the
// records a filter passes (engine/table/build_filter.h). The key keeps its
// components and entries unless both texts were understood: an absent
// component text fails with 8, a text that names no usable field with 76
// (88 when its value would not fit an entry), a filter that does not compile
// with 800 or 801. Only a dynamic index takes a component text: any other
// key's components are those stored with its table, and replacing them would
// part its entries from the stored definition, so it is refused with 76.
// A sequence started on the index ends when it is built again.
#pragma once

#include <cstdint>

#include "engine/table/operation_context.h"

namespace vantrose {

int32_t BuildFileOperation(OperationContext& context);       // BUILDfile
int32_t BuildKeyOperation(OperationContext& context);        // BUILDkey
int32_t PackOperation(OperationContext& context);            // PACK: BUILDfile, then the file is trimmed
int32_t BuildDynamicOperation(OperationContext& context);    // BUILDdyn: key; components
int32_t BuildDynamicFilterOperation(OperationContext& context);  // BUILDdynfilter: key; components, filter

}  // namespace vantrose
