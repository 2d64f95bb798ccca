// Splitting of Java argument files (the `@file` arguments of the java command), following
// the rules the JDK documents for them:
//   - arguments are separated by white space: space, tab, line feed, carriage return and
//     form feed;
//   - double or single quotes group text that may contain white space; a quote may start in
//     the middle of an argument (c:\Program" "Files is one argument) and the quotes are
//     removed; an empty pair gives an empty argument;
//   - inside quotes a backslash escapes: \n, \r, \t and \f become those characters, any other
//     character after it stands for itself (so \\ is one backslash and \" a quote);
//     outside quotes a backslash is an ordinary character (Windows paths need no doubling);
//   - a backslash at the end of a line, in or out of quotes, continues the argument on the
//     next line, whose leading spaces, tabs and form feeds are dropped;
//   - an open quote ends at the end of its line (unless continued) and at the end of the file;
//   - '#' at the start of an argument starts a comment that runs to the end of the line; a
//     '#' inside an argument or inside quotes is an ordinary character;
//   - nothing is expanded further: an "@name" inside a file stays as it is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace standin {

std::vector<std::string> splitArgumentFile(std::string_view text);

}  // namespace standin
