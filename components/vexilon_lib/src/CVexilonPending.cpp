// Members whose work is built in a later step: each raises a clear error until
// this file is replaced by their real code.
#include "automation/ComError.h"
#include "vexilon_lib/CVexilon.h"

namespace {

// E_NOTIMPL
constexpr int32_t kNotBuiltYet = static_cast<int32_t>(0x80004001u);

[[noreturn]] void NotBuiltYet(const char* member) {
  throw vx::ComError(kNotBuiltYet, "CVexilon", std::string("CVexilon::") + member + " is not built yet.");
}

}  // namespace

vx::VbBool CVexilon::EncryptStoredProcedure(int32_t, int32_t) { NotBuiltYet("EncryptStoredProcedure"); }
vx::VbBool CVexilon::EncryptArchiveStoredProcedure(int32_t, int32_t) { NotBuiltYet("EncryptArchiveStoredProcedure"); }
vx::VbBool CVexilon::EncryptArchiveTrigger(int32_t, int32_t, int32_t) { NotBuiltYet("EncryptArchiveTrigger"); }
vx::VbBool CVexilon::EncryptTrigger(int32_t, int32_t, int32_t) { NotBuiltYet("EncryptTrigger"); }
vx::VbBool CVexilon::EncryptView(int32_t, int32_t) { NotBuiltYet("EncryptView"); }
vx::VbBool CVexilon::EncryptArchiveView(int32_t, int32_t) { NotBuiltYet("EncryptArchiveView"); }
vx::VbBool CVexilon::EncryptUserDefinedFunction(int32_t, int32_t) { NotBuiltYet("EncryptUserDefinedFunction"); }
vx::VbBool CVexilon::EncryptArchiveUserDefinedFunction(int32_t, int32_t) {
  NotBuiltYet("EncryptArchiveUserDefinedFunction");
}
vx::VbBool CVexilon::ExportArchivedObjectRestoreScript(int32_t, UDT_OBJECT_CONTAINER&, const std::string&,
                                                       UDT_GENERATE_SCRIPT_OPTIONS&) {
  NotBuiltYet("ExportArchivedObjectRestoreScript");
}
std::string CVexilon::GetArchivedObjectRestoreScript(int32_t, UDT_OBJECT_CONTAINER&, UDT_GENERATE_SCRIPT_OPTIONS&) {
  NotBuiltYet("GetArchivedObjectRestoreScript");
}
ENU_RESTORE_RESULT CVexilon::RestoreObject(int32_t, int32_t, const std::string&, const std::string&,
                                           ENU_OBJECT_TYPES, vx::VbBool) {
  NotBuiltYet("RestoreObject");
}
