#include "JavaVMLauncher/java_calls.h"

#include "config/config_store.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// A small JVM: named classes with static methods, strings and object arrays as objects,
// and a transcript of the static calls with their arguments as texts. It keeps the rule the
// launcher must respect: no call other than the exception functions (and DeleteLocalRef)
// while an exception is pending.
struct FakeObject {
    std::string kind;     // "class", "string", "array", "throwable"
    std::string name;     // class name
    std::u16string text;  // string content
    std::vector<FakeObject*> elements;
};

struct FakeMethod {
    std::string className;
    std::string name;
    std::string signature;
};

struct FakeJvm {
    std::set<std::string> classes{"java/lang/String", "java/lang/Object"};
    std::set<std::string> methods;  // "class.name signature"
    std::vector<std::unique_ptr<FakeObject>> objects;
    std::vector<std::unique_ptr<FakeMethod>> methodIds;
    std::vector<std::string> calls;          // static calls: "class.name(arguments)"
    std::vector<std::string> illegalCalls;   // made while an exception was pending
    std::vector<FakeObject*> mainArguments;  // the array main received
    std::string throwFrom;                   // "class.name" that leaves an exception pending
    FakeObject* pending = nullptr;
    bool described = false;
    int deletedReferences = 0;
    bool failStrings = false;

    FakeObject* make(const std::string& kind) {
        objects.push_back(std::make_unique<FakeObject>());
        objects.back()->kind = kind;
        return objects.back().get();
    }
    void check(const char* name) {
        if (pending != nullptr) illegalCalls.push_back(name);
    }
};

FakeJvm* jvm = nullptr;

// A small ANSI code page for the splash texts: Latin-1, except that byte 0x80 is the euro sign.
std::wstring latin1WithEuro(const std::string& bytes) {
    std::wstring wide;
    for (char c : bytes) wide += c == '\x80' ? L'\u20AC' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

template <typename T>
FakeObject* object(T reference) {
    return reinterpret_cast<FakeObject*>(reference);
}

std::string utf8ish(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else
            out += "\\u" + std::to_string(static_cast<unsigned>(c));
    }
    return out;
}

std::string describe(FakeObject* o) {
    if (o == nullptr) return "null";
    if (o->kind == "string") return "\"" + utf8ish(o->text) + "\"";
    return o->kind;
}

jclass JNICALL findClass(JNIEnv*, const char* name) {
    jvm->check("FindClass");
    if (jvm->classes.count(name) == 0) {
        jvm->pending = jvm->make("throwable");
        return nullptr;
    }
    FakeObject* c = jvm->make("class");
    c->name = name;
    return reinterpret_cast<jclass>(c);
}

jmethodID JNICALL getStaticMethodId(JNIEnv*, jclass cls, const char* name, const char* signature) {
    jvm->check("GetStaticMethodID");
    std::string key = object(cls)->name + "." + name + " " + signature;
    if (jvm->methods.count(key) == 0) {
        jvm->pending = jvm->make("throwable");
        return nullptr;
    }
    jvm->methodIds.push_back(std::make_unique<FakeMethod>(FakeMethod{object(cls)->name, name, signature}));
    return reinterpret_cast<jmethodID>(jvm->methodIds.back().get());
}

jmethodID JNICALL getMethodId(JNIEnv*, jclass, const char*, const char*) {
    jvm->check("GetMethodID");
    return nullptr;  // the exception report then logs no text of its own
}

// Reads the arguments of a static call as its signature lays them out.
std::string readArguments(const std::string& signature, va_list args) {
    std::string out;
    size_t i = 1;
    while (i < signature.size() && signature[i] != ')') {
        if (!out.empty()) out += ",";
        char type = signature[i];
        if (type == 'Z' || type == 'I') {
            out += std::to_string(va_arg(args, int));
            ++i;
        } else {
            FakeObject* o = object(va_arg(args, jobject));
            if (o != nullptr && o->kind == "array") {
                jvm->mainArguments = o->elements;
                out += "array" + std::to_string(o->elements.size());
            } else {
                out += describe(o);
            }
            while (signature[i] == '[') ++i;
            i = signature[i] == 'L' ? signature.find(';', i) + 1 : i + 1;
        }
    }
    return out;
}

void staticCall(jmethodID id, va_list args) {
    FakeMethod* m = reinterpret_cast<FakeMethod*>(id);
    std::string name = m->className + "." + m->name;
    jvm->calls.push_back(name + "(" + readArguments(m->signature, args) + ")");
    if (jvm->throwFrom == name) jvm->pending = jvm->make("throwable");
}

void JNICALL callStaticVoidMethodV(JNIEnv*, jclass, jmethodID id, va_list args) {
    jvm->check("CallStaticVoidMethodV");
    staticCall(id, args);
}

jobject JNICALL callStaticObjectMethodV(JNIEnv*, jclass, jmethodID id, va_list args) {
    jvm->check("CallStaticObjectMethodV");
    staticCall(id, args);
    return reinterpret_cast<jobject>(jvm->make("string"));
}

jobject JNICALL callObjectMethodA(JNIEnv*, jobject, jmethodID, const jvalue*) {
    jvm->check("CallObjectMethodA");
    return nullptr;
}

jstring JNICALL newString(JNIEnv*, const jchar* units, jsize length) {
    jvm->check("NewString");
    if (jvm->failStrings) return nullptr;
    FakeObject* s = jvm->make("string");
    s->text.assign(units, units + length);
    return reinterpret_cast<jstring>(s);
}

// Modified UTF-8 as a JVM reads it: sequences of one to three bytes, U+0000 only as C0 80.
// False at the first byte that starts no such sequence.
bool decodeModifiedUtf8(const char* text, std::u16string& out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    auto continuation = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    while (*p != 0) {
        if (*p < 0x80) {
            out.push_back(*p++);
        } else if ((*p & 0xE0) == 0xC0 && continuation(p[1])) {
            out.push_back(static_cast<char16_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F)));
            p += 2;
        } else if ((*p & 0xF0) == 0xE0 && continuation(p[1]) && continuation(p[2])) {
            out.push_back(static_cast<char16_t>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)));
            p += 3;
        } else {
            return false;
        }
    }
    return true;
}

jstring JNICALL newStringUtf(JNIEnv*, const char* text) {
    jvm->check("NewStringUTF");
    FakeObject* s = jvm->make("string");
    if (!decodeModifiedUtf8(text, s->text)) jvm->illegalCalls.push_back("NewStringUTF with invalid modified UTF-8");
    return reinterpret_cast<jstring>(s);
}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass elementClass, jobject) {
    jvm->check("NewObjectArray");
    EXPECT_EQ(object(elementClass)->name, "java/lang/String");
    FakeObject* a = jvm->make("array");
    a->elements.resize(static_cast<size_t>(length));
    return reinterpret_cast<jobjectArray>(a);
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
    jvm->check("SetObjectArrayElement");
    object(array)->elements.at(static_cast<size_t>(index)) = object(value);
}

void JNICALL deleteLocalRef(JNIEnv*, jobject) { ++jvm->deletedReferences; }
jboolean JNICALL exceptionCheck(JNIEnv*) { return jvm->pending != nullptr; }
jthrowable JNICALL exceptionOccurred(JNIEnv*) { return reinterpret_cast<jthrowable>(jvm->pending); }
void JNICALL exceptionClear(JNIEnv*) { jvm->pending = nullptr; }
void JNICALL exceptionDescribe(JNIEnv*) {
    jvm->described = jvm->pending != nullptr;
    jvm->pending = nullptr;
}
jint JNICALL throwException(JNIEnv*, jthrowable t) {
    jvm->pending = object(t);
    return 0;
}

class JavaCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearCapturedLog();
        configStore = ConfigStore();
        jvm = &state;
        table.FindClass = findClass;
        table.GetStaticMethodID = getStaticMethodId;
        table.GetMethodID = getMethodId;
        table.CallStaticVoidMethodV = callStaticVoidMethodV;
        table.CallStaticObjectMethodV = callStaticObjectMethodV;
        table.CallObjectMethodA = callObjectMethodA;
        table.NewString = newString;
        table.NewStringUTF = newStringUtf;
        table.NewObjectArray = newObjectArray;
        table.SetObjectArrayElement = setObjectArrayElement;
        table.DeleteLocalRef = deleteLocalRef;
        table.ExceptionCheck = exceptionCheck;
        table.ExceptionOccurred = exceptionOccurred;
        table.ExceptionClear = exceptionClear;
        table.ExceptionDescribe = exceptionDescribe;
        table.Throw = throwException;
        env.functions = &table;
    }
    void TearDown() override {
        jvm = nullptr;
        configStore = ConfigStore();
    }

    void defineMain(const std::string& className) {
        state.classes.insert(className);
        state.methods.insert(className + ".main ([Ljava/lang/String;)V");
    }
    MainCallOutcome callMain(const std::string& className, const std::vector<std::wstring>& arguments) {
        return callStaticMain(&env, className, [&]() {
            ++argumentBuilds;
            return arguments;
        });
    }
    std::vector<std::u16string> receivedArguments() const {
        std::vector<std::u16string> texts;
        for (FakeObject* o : state.mainArguments) texts.push_back(o == nullptr ? u"<unset>" : o->text);
        return texts;
    }

    FakeJvm state;
    JNINativeInterface_ table{};
    JNIEnv env{};
    int argumentBuilds = 0;
};

}  // namespace

TEST(JavaCalls, LauncherClassFollowsTheGenerator) {
    EXPECT_EQ(launcherClassName('i'), "com/quillwork/runtime/launcher/WinLauncher");
    EXPECT_EQ(launcherClassName('e'), "com/ravel/runtime/WinLauncher");
    EXPECT_EQ(launcherClassName(0), "com/ravel/runtime/WinLauncher");
}

TEST_F(JavaCallsTest, MainReceivesTheArgumentsAsExactUtf16) {
    defineMain("com/ravel/runtime/WinLauncher");
    std::wstring smiley;
    smiley.push_back(0xD83D);
    smiley.push_back(0xDE00);
    std::vector<std::wstring> arguments{L"false", L"com.example.App", L"", L"Gr\u00fc\u00dfe \u65e5\u672c", smiley};
    EXPECT_EQ(callMain("com.ravel.runtime.WinLauncher", arguments), MainCallOutcome::Returned);
    EXPECT_EQ(state.calls, std::vector<std::string>{"com/ravel/runtime/WinLauncher.main(array5)"});
    std::u16string expectedSmiley{static_cast<char16_t>(0xD83D), static_cast<char16_t>(0xDE00)};
    EXPECT_EQ(receivedArguments(), (std::vector<std::u16string>{u"false", u"com.example.App", u"",
                                                                u"Gr\u00fc\u00dfe \u65e5\u672c", expectedSmiley}));
    EXPECT_TRUE(state.illegalCalls.empty());
}

TEST_F(JavaCallsTest, MainCallLogLines) {
    defineMain("com/ravel/runtime/WinLauncher");
    callMain("com/ravel/runtime/WinLauncher", {L"a", L"b c"});
    EXPECT_EQ(capturedLog(),
              (std::vector<std::wstring>{L"main class: com/ravel/runtime/WinLauncher", L"param count: 2", L"param 0: a",
                                         L"param 1: b c", L"calling main", L"main returned"}));
}

TEST_F(JavaCallsTest, MissingClassOrMethodEndsBeforeArgumentsAreBuilt) {
    EXPECT_EQ(callMain("com/ravel/runtime/WinLauncher", {L"x"}), MainCallOutcome::ClassNotFound);
    EXPECT_TRUE(logContains(L"ERROR: could not find main class"));
    state.classes.insert("com/ravel/runtime/WinLauncher");
    EXPECT_EQ(callMain("com/ravel/runtime/WinLauncher", {L"x"}), MainCallOutcome::MethodNotFound);
    EXPECT_TRUE(logContains(L"ERROR: could not find main method"));
    EXPECT_EQ(argumentBuilds, 0);
    EXPECT_TRUE(state.calls.empty());
}

TEST_F(JavaCallsTest, ExceptionFromMainIsReportedAndCleared) {
    defineMain("com/quillwork/runtime/launcher/WinLauncher");
    state.throwFrom = "com/quillwork/runtime/launcher/WinLauncher.main";
    EXPECT_EQ(callMain(launcherClassName('i'), {}), MainCallOutcome::Threw);
    EXPECT_TRUE(state.described);
    EXPECT_EQ(state.pending, nullptr);
    EXPECT_TRUE(logContains(L"ERROR: an exception occurred"));
}

TEST_F(JavaCallsTest, ArgumentStringThatCannotBeMadeAborts) {
    defineMain("com/ravel/runtime/WinLauncher");
    state.failStrings = true;
    EXPECT_DEATH(callMain("com/ravel/runtime/WinLauncher", {L"x"}), "jstr");
}

TEST_F(JavaCallsTest, ModuleNamePropertyGetsTheWidePath) {
    state.classes.insert("java/lang/System");
    state.methods.insert("java/lang/System.setProperty (Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    setModuleNameProperty(&env, L"C:\\\u00e4pp\\\u65e5\\app.exe");
    EXPECT_EQ(state.calls,
              std::vector<std::string>{
                  "java/lang/System.setProperty(\"ravel.moduleName\",\"C:\\\\u228pp\\\\u26085\\app.exe\")"});
    EXPECT_EQ(capturedLog(), std::vector<std::wstring>{L"setting ravel.moduleName to C:\\\u00e4pp\\\u65e5\\app.exe"});
    // Class, name, value and the previous value returned by setProperty.
    EXPECT_EQ(state.deletedReferences, 4);
}

TEST_F(JavaCallsTest, ModuleNamePropertyFailuresLeaveNothingPending) {
    setModuleNameProperty(&env, L"C:\\app.exe");
    EXPECT_EQ(capturedLog(), std::vector<std::wstring>{L"ERROR: could not get system class"});
    EXPECT_EQ(state.pending, nullptr);

    clearCapturedLog();
    state.classes.insert("java/lang/System");
    setModuleNameProperty(&env, L"C:\\app.exe");
    EXPECT_EQ(capturedLog(), std::vector<std::wstring>{L"ERROR: could not get method for module name init"});
    EXPECT_EQ(state.pending, nullptr);
    EXPECT_TRUE(state.calls.empty());
}

TEST_F(JavaCallsTest, InitFromLauncherPassesTheFlag) {
    const std::string common = "com/quillwork/runtime/installer/platform/win32/Common";
    EXPECT_FALSE(callInitFromLauncher(&env, true));
    EXPECT_TRUE(logContains(L"ERROR: did not find com/quillwork/runtime/installer/platform/win32/Common"));
    state.classes.insert(common);
    EXPECT_FALSE(callInitFromLauncher(&env, true));
    EXPECT_TRUE(logContains(L"ERROR: did not find initMethod"));
    EXPECT_EQ(state.pending, nullptr);

    state.methods.insert(common + ".initFromLauncher (Z)V");
    EXPECT_TRUE(callInitFromLauncher(&env, true));
    EXPECT_TRUE(callInitFromLauncher(&env, false));
    EXPECT_EQ(state.calls,
              (std::vector<std::string>{common + ".initFromLauncher(1)", common + ".initFromLauncher(0)"}));
    EXPECT_TRUE(state.illegalCalls.empty());
}

TEST_F(JavaCallsTest, SplashTextsReachJavaAsTheCharactersTheirBytesStandFor) {
    state.classes.insert("com/ravel/runtime/WinLauncher");
    state.methods.insert(
        "com/ravel/runtime/WinLauncher.initAwtSplashConfig "
        "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V");
    configStore.settings = {{10111, "Chargement \xE9l\xE8ve"}, {10114, "\x80 5"}, {10118, "plain"}};
    // A code page whose only multi-byte character is a surrogate pair: the pair goes over as
    // two three-byte sequences, which the JVM reads back as the same two units.
    auto widen = [](const std::string& bytes) {
        std::wstring wide = latin1WithEuro(bytes);
        if (bytes == "plain") wide += {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
        return wide;
    };
    configureSplash(&env, widen);
    ASSERT_EQ(state.calls.size(), 1u);
    EXPECT_EQ(state.calls[0], "com/ravel/runtime/WinLauncher.initAwtSplashConfig(1,0,\"Chargement " +
                                  utf8ish(u"\u00E9l\u00E8ve") + "\",0,0,\"" + utf8ish(u"\u20AC 5") + "\",0,0,\"plain" +
                                  utf8ish(u"\xD83D\xDE00") + "\",0,0,\"\",0,0)");
    EXPECT_TRUE(state.illegalCalls.empty()) << state.illegalCalls[0];
}

TEST_F(JavaCallsTest, SplashSettingsInTheirOrder) {
    state.classes.insert("com/ravel/runtime/WinLauncher");
    state.methods.insert(
        "com/ravel/runtime/WinLauncher.initAwtSplashConfig "
        "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V");
    configStore.settings = {{163, "1"},     {10111, "Loading"}, {10109, "10"}, {10110, "20"}, {10114, "v1.0"},
                            {10113, "30"},  {10115, "40"},      {10118, ""},   {10116, "-5"}, {10117, "0"},
                            {10121, "(c)"}, {10120, "7"},       {10122, "8"}};
    configureSplash(&env, latin1WithEuro);
    EXPECT_EQ(state.calls, std::vector<std::string>{"com/ravel/runtime/WinLauncher.initAwtSplashConfig("
                                                    "1,1,\"Loading\",10,20,\"v1.0\",30,40,\"\",-5,0,\"(c)\",7,8)"});
}

TEST_F(JavaCallsTest, SplashClassOrMethodMissingIsSkipped) {
    configureSplash(&env, latin1WithEuro);
    EXPECT_EQ(capturedLog(), std::vector<std::wstring>{L"ERROR: could not find main class for splash properties"});
    state.classes.insert("com/ravel/runtime/WinLauncher");
    clearCapturedLog();
    configureSplash(&env, latin1WithEuro);
    EXPECT_EQ(capturedLog(), std::vector<std::wstring>{L"ERROR: could not find method for splash properties"});
    EXPECT_TRUE(state.calls.empty());
    EXPECT_EQ(state.pending, nullptr);
}
