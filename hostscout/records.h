// Host record files for the router's LLTD component: per medium a count file
// ("00=" and the number of the last record) and numbered records of five
// lines keyed by LLTD property type.
#pragma once

#include <cstddef>

struct HostMedium {
  const char *count_path;
  const char *record_prefix; // the record number follows it
};

inline constexpr HostMedium kWirelessHosts{"/var/lltd_num_wlan", "/var/lltd_inf_wlan"};
inline constexpr HostMedium kWiredHosts{"/var/lltd_num_lan", "/var/lltd_inf_lan"};

struct HostRecord {
  const char *mac;     // 01: host identifier, may be empty
  const char *medium;  // 03: "71" wireless, "6" Ethernet
  const char *address; // 07
  const char *name;    // 15
};

// The value text of the count file's first line beginning with "00" (the
// third character is skipped whatever it is), "" when there is no such line,
// "0" when the file does not open or is no regular file. The text lives in one
// buffer that the next call overwrites.
const char *ReadInfo_NUM(const char *path);

// The number of the last record of the medium, as atoi reads the count; a
// negative count reads as 0.
int record_count(const HostMedium &medium);
int next_record_number(int old);

// Replaces the count file with the line "00=" and n. A failure is reported on
// standard error naming the file.
bool write_record_count(const HostMedium &medium, int n);
// Replaces record n whole with its five lines, "01" first and "99=0", which
// marks the record complete, last: a reader finds the record complete or not
// at all. A failure is reported on standard error naming the file.
bool write_host_record(const HostMedium &medium, int n, const HostRecord &record);
// Raises the count to n, then writes record n, while signals wait: a newer
// run's SIGTERM between the two would leave the count naming a record that
// never comes. A count that cannot be raised writes no record, which the
// next run would write over unseen.
bool add_host_record(const HostMedium &medium, int n, const HostRecord &record);
