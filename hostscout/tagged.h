// Progress lines of the discovery program carry the tag "ssdp: ".
#pragma once

void print_tagged(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
