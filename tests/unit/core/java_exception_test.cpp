#include "core/java_exception.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>
#include <jni.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// A JVM stand-in that keeps the rules of JNI the launcher depends on: which calls are
// legal while an exception is pending, and that string characters are not terminated.
struct FakeJvm {
    jthrowable pending = nullptr;
    std::vector<std::string> calls;
    std::vector<std::string> illegalCalls;  // made while an exception was pending
    std::u16string exceptionText = u"java.lang.IllegalStateException: broken";
    bool toStringThrows = false;
    std::string foundClass;
    std::string methodName;
    std::string methodSignature;
    jobject calledOn = nullptr;
    jthrowable describedException = nullptr;
    int outstandingChars = 0;
    std::unique_ptr<jchar[]> chars;  // exactly the text's length, no terminator
};

FakeJvm* jvm = nullptr;
_jthrowable exceptionObject;
_jthrowable secondException;
_jclass objectClass;
_jstring textObject;
jmethodID toStringMethod = reinterpret_cast<jmethodID>(&objectClass);

void record(const char* name, bool legalWhilePending = false) {
    jvm->calls.push_back(name);
    if (jvm->pending != nullptr && !legalWhilePending) jvm->illegalCalls.push_back(name);
}

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
    record("ExceptionOccurred", true);
    return jvm->pending;
}
jboolean JNICALL exceptionCheck(JNIEnv*) {
    record("ExceptionCheck", true);
    return jvm->pending != nullptr;
}
void JNICALL exceptionClear(JNIEnv*) {
    record("ExceptionClear", true);
    jvm->pending = nullptr;
}
void JNICALL exceptionDescribe(JNIEnv*) {
    record("ExceptionDescribe", true);
    jvm->describedException = jvm->pending;
    jvm->pending = nullptr;
}
jint JNICALL throwException(JNIEnv*, jthrowable exception) {
    record("Throw");
    jvm->pending = exception;
    return 0;
}
jclass JNICALL findClass(JNIEnv*, const char* name) {
    record("FindClass");
    jvm->foundClass = name;
    return &objectClass;
}
jmethodID JNICALL getMethodId(JNIEnv*, jclass, const char* name, const char* signature) {
    record("GetMethodID");
    jvm->methodName = name;
    jvm->methodSignature = signature;
    return toStringMethod;
}
jobject JNICALL callObjectMethodA(JNIEnv*, jobject target, jmethodID method, const jvalue*) {
    record("CallObjectMethodA");
    jvm->calledOn = target;
    if (method != toStringMethod) return nullptr;
    if (jvm->toStringThrows) {
        jvm->pending = &secondException;
        return nullptr;
    }
    return &textObject;
}
jsize JNICALL getStringLength(JNIEnv*, jstring) {
    record("GetStringLength");
    return static_cast<jsize>(jvm->exceptionText.size());
}
const jchar* JNICALL getStringChars(JNIEnv*, jstring, jboolean* isCopy) {
    record("GetStringChars");
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    jvm->chars.reset(new jchar[jvm->exceptionText.size()]);
    for (size_t i = 0; i < jvm->exceptionText.size(); ++i) jvm->chars[i] = jvm->exceptionText[i];
    ++jvm->outstandingChars;
    return jvm->chars.get();
}
void JNICALL releaseStringChars(JNIEnv*, jstring, const jchar*) {
    record("ReleaseStringChars", true);
    --jvm->outstandingChars;
}
void JNICALL deleteLocalRef(JNIEnv*, jobject) { record("DeleteLocalRef", true); }

class JavaExceptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearCapturedLog();
        jvm = &state;
        table.ExceptionOccurred = exceptionOccurred;
        table.ExceptionCheck = exceptionCheck;
        table.ExceptionClear = exceptionClear;
        table.ExceptionDescribe = exceptionDescribe;
        table.Throw = throwException;
        table.FindClass = findClass;
        table.GetMethodID = getMethodId;
        table.CallObjectMethodA = callObjectMethodA;
        table.GetStringLength = getStringLength;
        table.GetStringChars = getStringChars;
        table.ReleaseStringChars = releaseStringChars;
        table.DeleteLocalRef = deleteLocalRef;
        env.functions = &table;
    }
    void TearDown() override { jvm = nullptr; }

    bool called(const char* name) const {
        for (const std::string& call : state.calls)
            if (call == name) return true;
        return false;
    }

    FakeJvm state;
    JNINativeInterface_ table{};
    JNIEnv env{};
};

}  // namespace

TEST_F(JavaExceptionTest, NothingPendingIsSuccessAndSilent) {
    EXPECT_TRUE(checkJavaException(&env, true));
    EXPECT_TRUE(capturedLog().empty());
    EXPECT_EQ(state.calls, std::vector<std::string>{"ExceptionOccurred"});
}

TEST_F(JavaExceptionTest, PendingExceptionIsLoggedWithItsOwnTextAndCleared) {
    state.pending = &exceptionObject;
    EXPECT_FALSE(checkJavaException(&env, false));
    EXPECT_EQ(capturedLog(), (std::vector<std::wstring>{L"ERROR: an exception occurred",
                                                        L"ERROR: java.lang.IllegalStateException: broken"}));
    EXPECT_EQ(state.pending, nullptr);
    EXPECT_EQ(state.outstandingChars, 0);
    EXPECT_FALSE(called("ExceptionDescribe"));
}

TEST_F(JavaExceptionTest, ToStringIsTheObjectMethodCalledOnTheException) {
    state.pending = &exceptionObject;
    checkJavaException(&env, false);
    // A method id of java.lang.String may not be called on a Throwable; Object's may, and
    // virtual dispatch still reaches the exception's own toString.
    EXPECT_EQ(state.foundClass, "java/lang/Object");
    EXPECT_EQ(state.methodName, "toString");
    EXPECT_EQ(state.methodSignature, "()Ljava/lang/String;");
    EXPECT_EQ(state.calledOn, &exceptionObject);
}

TEST_F(JavaExceptionTest, NoIllegalCallWhileTheExceptionIsPending) {
    state.pending = &exceptionObject;
    checkJavaException(&env, true);
    EXPECT_TRUE(state.illegalCalls.empty()) << state.illegalCalls.front();
    state.toStringThrows = true;
    state.pending = &exceptionObject;
    checkJavaException(&env, true);
    EXPECT_TRUE(state.illegalCalls.empty()) << state.illegalCalls.front();
}

TEST_F(JavaExceptionTest, DescribeReportsTheOriginalException) {
    state.pending = &exceptionObject;
    EXPECT_FALSE(checkJavaException(&env, true));
    EXPECT_EQ(state.describedException, &exceptionObject);
    EXPECT_EQ(state.pending, nullptr);
}

TEST_F(JavaExceptionTest, ThrowingToStringLogsOnlyTheOccurrence) {
    state.toStringThrows = true;
    state.pending = &exceptionObject;
    EXPECT_FALSE(checkJavaException(&env, true));
    EXPECT_EQ(capturedLog(), std::vector<std::wstring>{L"ERROR: an exception occurred"});
    EXPECT_EQ(state.describedException, &exceptionObject);
    EXPECT_EQ(state.pending, nullptr);
}

TEST_F(JavaExceptionTest, TextIsTakenByLengthAndKeptExact) {
    // The fake's characters end exactly at the text's length: reading up to a terminator
    // would overrun (and the address sanitizer would stop the test).
    state.exceptionText = u"java.io.IOException: Gr\u00f6\u00dfe \u20ac \U0001F600";
    state.pending = &exceptionObject;
    checkJavaException(&env, false);
    ASSERT_EQ(capturedLog().size(), 2u);
    std::wstring expected = L"ERROR: java.io.IOException: Gr\u00f6\u00dfe \u20ac ";
    expected.push_back(0xD83D);
    expected.push_back(0xDE00);
    EXPECT_EQ(capturedLog()[1], expected);
}

TEST_F(JavaExceptionTest, VeryLongTextIsCut) {
    state.exceptionText = std::u16string(7000, u'x');
    state.pending = &exceptionObject;
    checkJavaException(&env, false);
    ASSERT_EQ(capturedLog().size(), 2u);
    EXPECT_EQ(capturedLog()[1], L"ERROR: " + std::wstring(6000, L'x'));
}
