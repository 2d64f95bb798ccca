// The static native FlatWindowsNativeWindowBorder.registryGetIntValue: a 32-bit value of the
// current user's registry, for settings of the desktop the Java side follows.
#include "nativeborder/border_exports.h"

#include "core/platform.h"
#include "core/registry.h"

#include <string>

namespace {

// The exact UTF-16 text of a Java string, so that key and value names outside the ANSI code
// page are found. Returns false for a null string or when the VM cannot give the characters.
bool javaText(JNIEnv* env, jstring text, std::wstring& out) {
    if (text == nullptr) return false;
    const jsize length = env->GetStringLength(text);
    const jchar* chars = env->GetStringChars(text, nullptr);
    if (chars == nullptr) return false;
    out.assign(chars, chars + length);
    env->ReleaseStringChars(text, chars);
    return true;
}

}  // namespace

extern "C" jint JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue(
    JNIEnv* env, jclass, jstring key, jstring valueName, jint defaultValue) {
    std::wstring keyText;
    std::wstring valueText;
    if (!javaText(env, key, keyText) || !javaText(env, valueName, valueText)) return defaultValue;
    // Opened for querying values only: the right this one read needs, no more.
    RegistryKey opened = openRegistryKey(HKEY_CURRENT_USER, keyText.c_str(), KEY_QUERY_VALUE, RegistryView::Default);
    if (!opened.valid()) return defaultValue;
    // A DWORD or a 4-byte binary value; any other type or size gives the default.
    std::optional<DWORD> value =
        readRegistryDword(opened.get(), valueText.c_str(), DwordValueTypes::DwordOrFourByteBinary);
    return value ? static_cast<jint>(*value) : defaultValue;
}
