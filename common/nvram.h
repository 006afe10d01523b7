// The router's configuration store, as the programs call it.
// Every call passes store index 0. Values are NUL-terminated text that stays
// valid and unchanged for the whole run; an absent key reads as "".
#pragma once

extern "C" {
void nvram_init(int index);
const char *nvram_bufget(int index, const char *key);
const char *nvram_get(int index, const char *key);
}
