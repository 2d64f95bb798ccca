// The example configurations of the reference, one per kind of application. Their text is
// docs/examples/<name>.toml, compiled in by cmake/reference_examples.cmake.
#pragma once

#include <string>
#include <vector>

struct ReferenceExample {
    const char* name;  // the file's name without ".toml"
    const char* text;  // the file's content
};

const std::vector<ReferenceExample>& referenceExamples();
