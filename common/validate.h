// Checkers for values that are put into command lines as they stand, where the
// command text is fixed and quoting would change it. A value that fails its
// checker never reaches the shell.
#pragma once

// Four decimal numbers 0..255 joined by dots ("192.168.1.20"), none with a
// leading zero ("010.1.0.1" is refused).
bool is_dotted_ipv4(const char *text);
// Only the characters of a dotted address or mask (digits and dots), or empty.
bool is_address_chars(const char *text);
// A decimal port 0..65535, without a leading zero (which iptables would read
// as octal).
bool is_port(const char *text);
// A port, or a range "first:last" of ports with first <= last.
bool is_port_range(const char *text);
// A protocol as iptables takes it: a number 0..255 (no leading zero), or a plain name of
// letters, digits and '-' starting with a letter, "dscp" (in any case) aside.
bool is_protocol(const char *text);
