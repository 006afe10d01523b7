#include "validate.h"

#include "textnum.h"

#include <cstring>

bool is_dotted_ipv4(const char *text)
{
  if (text == nullptr)
    return false;
  const char *p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.')
        return false;
      ++p;
    }
    // A leading zero would read as octal to inet_aton and iptables: "010"
    // names 8, not the 10 the text shows.
    if (p[0] == '0' && p[1] >= '0' && p[1] <= '9')
      return false;
    int digits = 0;
    unsigned value = 0;
    while (*p >= '0' && *p <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(*p - '0');
      ++p;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255)
      return false;
  }
  return *p == '\0';
}

namespace {

// A decimal number up to max without a leading zero: iptables reads ports
// and protocol numbers as C numbers, so "010" would name 8.
bool plain_number(const char *text, unsigned long max, unsigned long *v)
{
  return text != nullptr && !(text[0] == '0' && text[1] != '\0') && parse_decimal(text, max, v);
}

} // namespace

bool is_address_chars(const char *text)
{
  return text != nullptr && strspn(text, "0123456789.") == strlen(text);
}

bool is_port(const char *text)
{
  unsigned long v;
  return plain_number(text, 65535, &v);
}

bool is_port_range(const char *text)
{
  if (text == nullptr)
    return false;
  const char *colon = strchr(text, ':');
  if (colon == nullptr)
    return is_port(text);
  char first[8];
  size_t len = static_cast<size_t>(colon - text);
  if (len == 0 || len >= sizeof first)
    return false;
  memcpy(first, text, len);
  first[len] = '\0';
  unsigned long a, b;
  return plain_number(first, 65535, &a) && plain_number(colon + 1, 65535, &b) && a <= b;
}

bool is_protocol(const char *text)
{
  if (text == nullptr || text[0] == '\0')
    return false;
  unsigned long v;
  if (text[0] >= '0' && text[0] <= '9')
    return plain_number(text, 255, &v);
  // A match's name, not a protocol's (the QoS build's DSCP rules use it): as
  // a protocol it could only make a line that iptables refuses.
  const char *dscp = "dscp";
  for (const char *p = text; *p != '\0'; ++p) {
    const unsigned c = static_cast<unsigned char>(*p);
    if ((c | 0x20) - 'a' >= 26 && (p == text || (c - '0' >= 10 && c != '-')))
      return false;
    dscp = dscp != nullptr && (c | 0x20) == static_cast<unsigned char>(*dscp) ? dscp + 1 : nullptr;
  }
  return dscp == nullptr || *dscp != '\0';
}
