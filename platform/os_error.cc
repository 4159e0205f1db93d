#include "platform/os_error.h"

namespace vantrose {
namespace {
thread_local int32_t g_last_error = 0;
}  // namespace

int32_t LastOsErrorNumber() { return g_last_error; }
void SetLastOsErrorNumber(int32_t number) { g_last_error = number; }

}  // namespace vantrose
