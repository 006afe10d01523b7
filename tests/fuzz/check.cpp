#include "check.h"

#include "command.h"
#include "common_seams.h"
#include "validate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void fuzz_fail(const char *what, const char *file, int line, std::string_view detail)
{
  fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
  if (!detail.empty())
    fprintf(stderr, "  text: [%.*s]\n", static_cast<int>(detail.size()), detail.data());
  abort();
}

void fuzz_quiet_stdout()
{
  if (freopen("/dev/null", "w", stdout) == nullptr)
    abort();
}

std::string fuzz_text(const uint8_t *data, size_t size)
{
  const void *nul = memchr(data, '\0', size);
  size_t len = nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - data) : size;
  return std::string(reinterpret_cast<const char *>(data), len);
}

std::vector<std::string> fuzz_split(std::string_view text, char sep)
{
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(sep, start);
    if (end == std::string_view::npos) {
      parts.emplace_back(text.substr(start));
      return parts;
    }
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
}

bool fits(const char *buf, size_t size)
{
  return memchr(buf, '\0', size) != nullptr;
}

namespace {

int record_and_check(const char *line)
{
  check_command_line(line);
  fuzz_commands().emplace_back(line);
  return 0;
}

bool plain_char(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || strchr("._:/=,+@%-", c) != nullptr;
}

// Redirections written into the programs' own command texts.
constexpr const char *kFixedWords[] = {"1>/dev/null", "2>&1", ">", "2>/dev/null", ">/dev/null"};

bool fixed_word(std::string_view raw)
{
  for (const char *w : kFixedWords) {
    if (raw == w)
      return true;
  }
  return false;
}

bool ipv4_range(const std::string &text)
{
  size_t dash = text.find('-');
  if (dash == std::string::npos)
    return false;
  return is_dotted_ipv4(text.substr(0, dash).c_str()) && is_dotted_ipv4(text.substr(dash + 1).c_str());
}

// A port, or two ports joined by ':' (iptables refuses a reversed range, but
// the text is still two checked numbers).
bool ports(const std::string &text)
{
  size_t colon = text.find(':');
  if (colon == std::string::npos)
    return is_port(text.c_str());
  return is_port(text.substr(0, colon).c_str()) && is_port(text.substr(colon + 1).c_str());
}

bool decimal(const std::string &text)
{
  return !text.empty() && strspn(text.c_str(), "0123456789") == text.size();
}

} // namespace

std::vector<std::string> &fuzz_commands()
{
  static std::vector<std::string> commands;
  return commands;
}

void fuzz_record_commands()
{
  set_command_sink(record_and_check);
}

bool shell_words(const char *line, std::vector<std::string> &words)
{
  words.clear();
  std::string word;
  bool in_word = false;
  for (const char *p = line; *p != '\0'; ++p) {
    if (p[0] == '\\' && p[1] == '\'') {
      word.push_back('\'');
      in_word = true;
      ++p;
    } else if (*p == '\'') {
      const char *close = strchr(p + 1, '\'');
      if (close == nullptr)
        return false;
      word.append(p + 1, static_cast<size_t>(close - p - 1));
      in_word = true;
      p = close;
    } else if (*p == ' ') {
      if (in_word)
        words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word.push_back(*p);
      in_word = true;
    }
  }
  if (in_word)
    words.push_back(word);
  return true;
}

void check_command_line(const char *line)
{
  // Word by word as the shell reads them: outside single quotes only plain
  // characters, or a whole word that is one of the fixed redirections.
  const char *p = line;
  while (*p != '\0') {
    while (*p == ' ')
      ++p;
    const char *start = p;
    bool plain = true;
    while (*p != '\0' && *p != ' ') {
      if (p[0] == '\\' && p[1] == '\'') { // a quote between quoted runs
        p += 2;
        continue;
      }
      if (*p == '\'') {
        const char *close = strchr(p + 1, '\'');
        FUZZ_CHECK_TEXT(close != nullptr, line);
        p = close + 1;
        continue;
      }
      plain = plain && plain_char(*p);
      ++p;
    }
    FUZZ_CHECK_TEXT(plain || fixed_word(std::string_view(start, static_cast<size_t>(p - start))), line);
  }

  std::vector<std::string> words;
  FUZZ_CHECK_TEXT(shell_words(line, words), line);
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    const std::string &option = words[i];
    const std::string &value = words[i + 1];
    if (option == "-p")
      FUZZ_CHECK_TEXT(is_protocol(value.c_str()), line);
    else if (option == "--sport" || option == "--dport")
      FUZZ_CHECK_TEXT(ports(value), line);
    else if (option == "--src-range" || option == "--dst-range")
      FUZZ_CHECK_TEXT(ipv4_range(value), line);
    else if (option == "--set-mark")
      FUZZ_CHECK_TEXT(decimal(value), line);
  }
}
