// The discovery run: pid file takeover, the DHCP lease scan, one SSDP search
// for root devices and a wired host record for each storage device answering.
#pragma once

#include <string_view>

inline constexpr const char *kPidFile = "/var/run/hostscout.pid";
// At most this many answers are read in one run.
inline constexpr int kMaxAnswers = 15;
// The wait for the first answer, and after each answer for the next one.
inline constexpr int kFirstAnswerWaitSeconds = 3;
inline constexpr int kLaterAnswerWaitSeconds = 3;

// Records one wired host from a storage device's answer. 0 when a record was
// written, -1 when the answer holds no usable address.
int get_info_from_ssdp(std::string_view answer);

// The whole run; the program's exit status.
int hostscout_main();
