#include "answer.h"

#include "validate.h"

#include <cstring>

bool answer_passes(std::string_view answer)
{
  return answer.starts_with("HTTP/1.1 200");
}

bool answer_is_storage(std::string_view answer)
{
  return answer.find("MediabolicUPnP") != std::string_view::npos;
}

bool answer_address(std::string_view answer, char *out, size_t size)
{
  if (size == 0)
    return false;
  out[0] = '\0';
  constexpr std::string_view scheme = "http://";
  size_t at = answer.find(scheme);
  if (at == std::string_view::npos)
    return false;
  size_t start = at + scheme.size();
  size_t end = answer.find_first_of(":/", start);
  if (end == std::string_view::npos)
    return false;
  size_t len = end - start;
  if (len >= size)
    return false;
  memcpy(out, answer.data() + start, len);
  out[len] = '\0';
  if (memchr(out, '\0', len) != nullptr || !is_dotted_ipv4(out)) {
    out[0] = '\0';
    return false;
  }
  return true;
}
