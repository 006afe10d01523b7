#include "fake_nvram.h"

#include "nvram.h"

#include <map>
#include <string>

namespace {
std::map<std::string, std::string> &store()
{
  static std::map<std::string, std::string> values;
  return values;
}
int g_inits = 0;
} // namespace

void fake_nvram_clear()
{
  store().clear();
  g_inits = 0;
}

void fake_nvram_set(const char *key, const char *value)
{
  store()[key] = value;
}

void fake_nvram_load(std::initializer_list<std::pair<const char *, const char *>> values)
{
  fake_nvram_clear();
  for (const auto &kv : values)
    fake_nvram_set(kv.first, kv.second);
}

int fake_nvram_init_calls()
{
  return g_inits;
}

extern "C" void nvram_init(int)
{
  ++g_inits;
}

extern "C" const char *nvram_bufget(int, const char *key)
{
  auto it = store().find(key);
  return it == store().end() ? "" : it->second.c_str();
}

extern "C" const char *nvram_get(int, const char *key)
{
  return nvram_bufget(0, key);
}
