// Answers to the SSDP search, as the discovery program reads them.
#pragma once

#include <cstddef>
#include <string_view>

// The answer begins "HTTP/1.1 200"; any other answer ends the search.
bool answer_passes(std::string_view answer);
// The server string that marks a network storage device.
bool answer_is_storage(std::string_view answer);

// The device's address from the first "http://" URL of the answer: the text up
// to the next ':' or '/'. Only a dotted IPv4 address in its plain form (no
// leading zeros) is taken, since the text goes into the ping command, the ARP
// lookup and the record; otherwise false with out empty. size is at most 30:
// the field holds 29 characters.
bool answer_address(std::string_view answer, char *out, size_t size);
