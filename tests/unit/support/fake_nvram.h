// An in-memory configuration store for unit tests.
#pragma once

#include <initializer_list>
#include <utility>

void fake_nvram_clear();
void fake_nvram_set(const char *key, const char *value);
void fake_nvram_load(std::initializer_list<std::pair<const char *, const char *>> values);
// How many times nvram_init was called since the last clear.
int fake_nvram_init_calls();
