// The static native FlatWindowsNativeWindowBorder.registryGetIntValue: a 32-bit value of the
// current user's registry, for settings of the desktop the Java side follows.
#include "nativeborder/border_exports.h"

#include "core/platform.h"

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
    // A DWORD or a 4-byte binary value; any other type or size is refused by the restriction
    // or by the size check.
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, keyText.c_str(), valueText.c_str(), RRF_RT_DWORD, nullptr, &value, &size);
    if (status != ERROR_SUCCESS || size != sizeof value) return defaultValue;
    return static_cast<jint>(value);
}
