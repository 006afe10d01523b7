// What the fuzz harnesses share: a check that aborts (so the fuzzer keeps the
// input), the input as text, and a command sink that checks every command line
// the code under test builds instead of handing it to a shell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

[[noreturn]] void fuzz_fail(const char *what, const char *file, int line, std::string_view detail);

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : fuzz_fail(#cond, __FILE__, __LINE__, {}))
// The same, printing the offending text.
#define FUZZ_CHECK_TEXT(cond, text) ((cond) ? (void)0 : fuzz_fail(#cond, __FILE__, __LINE__, (text)))

// The programs' messages go to /dev/null: the fuzzer reports on stderr.
void fuzz_quiet_stdout();

// The input as a C string: everything up to the first NUL byte.
std::string fuzz_text(const uint8_t *data, size_t size);
// The input cut at each `sep` (the last part may be empty).
std::vector<std::string> fuzz_split(std::string_view text, char sep);

// True when the buffer of `size` bytes holds its terminating NUL.
bool fits(const char *buf, size_t size);

// Installs a sink that records each command line and checks it with
// check_command_line. The harness clears the record before each input.
void fuzz_record_commands();
std::vector<std::string> &fuzz_commands();

// A command line as the shell would split it into words, each word with its
// single quotes removed. False when a quote is left open.
bool shell_words(const char *line, std::vector<std::string> &words);

// Aborts unless every word of the line is made only of plain characters
// (letters, digits and ._:/=,+@%-) outside single quotes, or is one of the fixed
// redirections of the programs' own command texts; and unless the value after
// each iptables match option passes the validator for it (-p a protocol,
// --sport/--dport a port or two joined by ':', --src-range/--dst-range two dotted
// addresses, --set-mark a number).
void check_command_line(const char *line);
