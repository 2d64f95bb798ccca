#include "transcript.h"

#include <cstdio>

#include "invocation.h"
#include "jtext.h"

namespace standin {

std::wstring transcriptPath;

namespace {

const char* typeName(char letter) {
    switch (letter) {
    case 'Z':
        return "boolean";
    case 'B':
        return "byte";
    case 'C':
        return "char";
    case 'S':
        return "short";
    case 'I':
        return "int";
    case 'J':
        return "long";
    case 'F':
        return "float";
    case 'D':
        return "double";
    default:
        return "void";
    }
}

void addReference(Record& record, const std::string& key, const Object* object) {
    if (object == nullptr) {
        record.add(key + ".type", "null");
        return;
    }
    switch (object->kind) {
    case ObjectKind::String:
        record.add(key + ".type", "string");
        record.add(key, exactUtf8(object->text));
        return;
    case ObjectKind::Array:
        record.add(key + ".type", "array");
        record.add(key + ".class", object->cls->name);
        record.addNumber(key + ".length", static_cast<long long>(object->elements.size()));
        for (size_t i = 0; i < object->elements.size(); ++i) {
            Value element;
            element.type = 'L';
            element.ref = object->elements[i];
            addValue(record, key + "[" + std::to_string(i) + "]", element);
        }
        return;
    case ObjectKind::ClassMirror:
        record.add(key + ".type", "class");
        record.add(key, object->mirrorOf->name);
        return;
    default:
        record.add(key + ".type", "object");
        record.add(key, object->cls->name);
        return;
    }
}

}  // namespace

void writeTranscript(const Record& record) {
    bool written =
        transcriptPath.empty() ? appendRecord(loadedRuntime, record) : appendRecordTo(transcriptPath, record);
    // A lost record would make a test draw the wrong conclusion; say so where it is seen.
    if (!written) writeStandardError("standin jvm.dll: could not write the transcript\r\n");
}

void addValue(Record& record, const std::string& key, const Value& value) {
    switch (value.type) {
    case 'L':
        addReference(record, key, value.ref);
        return;
    case 'Z':
        record.add(key + ".type", "boolean");
        record.add(key, value.integer != 0 ? "true" : "false");
        return;
    case 'F':
    case 'D': {
        char text[64];
        snprintf(text, sizeof text, "%.17g", value.real);
        record.add(key + ".type", typeName(value.type));
        record.add(key, text);
        return;
    }
    case 'V':
        record.add(key + ".type", "void");
        return;
    default:
        record.add(key + ".type", typeName(value.type));
        record.addNumber(key, value.integer);
        return;
    }
}

void addThread(Record& record, const ThreadState* thread) {
    record.addNumber("thread", static_cast<long long>(GetCurrentThreadId()));
    if (thread != nullptr) record.add("threadName", thread->name);
}

}  // namespace standin
