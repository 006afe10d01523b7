#include "ssdp.h"

#include "answer.h"
#include "arp.h"
#include "leases.h"
#include "pidfile.h"
#include "records.h"
#include "tagged.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char kSearchRequest[] = "M-SEARCH * HTTP/1.1\r\n"
                                  "Host: 239.255.255.250:1900\r\n"
                                  "Man: \"ssdp:discover\"\r\n"
                                  "ST:upnp:rootdevice\r\n"
                                  "MX:3\r\n"
                                  "\r\n";
constexpr size_t kSearchRequestLength = sizeof kSearchRequest - 1;
static_assert(kSearchRequestLength == 99);

constexpr char kHashLine[] = "##########################################";
static_assert(sizeof kHashLine - 1 == 42);

constexpr size_t kAnswerLimit = 1024;

// 1 readable, 0 time out, -1 failure.
int wait_readable(int sock, int seconds)
{
  struct pollfd p = {sock, POLLIN, 0};
  int rc = poll(&p, 1, seconds * 1000);
  return rc < 0 ? -1 : (rc == 0 ? 0 : 1);
}

} // namespace

int get_info_from_ssdp(std::string_view answer)
{
  print_tagged("%s\n", kHashLine);
  print_tagged("Get info from SSDP M-Search\n");
  char address[30];
  if (!answer_address(answer, address, sizeof address))
    return -1;

  int old = record_count(kWiredHosts);
  print_tagged("ip_buff=%s  \n", address);
  print_tagged("Add info => old lltd_num_lan=%d\n", old);

  // The count is raised with the record, once the lookup (up to a second's
  // ping) is done.
  char mac[30] = {};
  get_mac_from_arptable(address, mac);
  add_host_record(kWiredHosts, next_record_number(old), HostRecord{mac, "6", address, "NAS"});
  print_tagged("%s\n", kHashLine);
  return 0;
}

int hostscout_main()
{
  // Only an older hostscout is ended: a stale file may name any process.
  pidfile_take_over(kPidFile, "hostscout");
  if (!pidfile_write("hostscout", kPidFile)) {
    printf("Can't create PID file!");
    return -1;
  }

  get_info_from_dhcp();

  struct sockaddr_in group;
  memset(&group, 0, sizeof group);
  group.sin_family = AF_INET;
  group.sin_port = htons(1900);
  inet_pton(AF_INET, "239.255.255.250", &group.sin_addr);

  int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) {
    printf("err: socket() failed");
    return -1;
  }
  // Not bound and in no group: the answers come back by unicast to the port
  // the kernel picked for the request.
  ssize_t sent = sendto(sock, kSearchRequest, kSearchRequestLength, 0,
                        reinterpret_cast<const struct sockaddr *>(&group), sizeof group);
  if (sent != static_cast<ssize_t>(kSearchRequestLength)) {
    printf("err:sendto");
    close(sock);
    return -1;
  }

  print_tagged("timeout= %d\n", kFirstAnswerWaitSeconds);
  int ready = wait_readable(sock, kFirstAnswerWaitSeconds);
  if (ready < 0) {
    printf("eer:select");
    close(sock);
    return -1;
  }
  if (ready == 0) {
    printf("err: no ssdp answer\n");
    close(sock);
    return -1;
  }

  for (int i = 0; i < kMaxAnswers; ++i) {
    print_tagged("Receive ===> %d\n", i);
    if (i > 0) {
      // Fewer than the full number of devices answered: a quiet spell after
      // the last answer ends the search as the last answer would.
      ready = wait_readable(sock, kLaterAnswerWaitSeconds);
      if (ready < 0) {
        printf("eer:select");
        close(sock);
        return -1;
      }
      if (ready == 0)
        break;
    }
    char buf[kAnswerLimit + 1];
    struct sockaddr_in from;
    memset(&from, 0, sizeof from);
    socklen_t from_len = sizeof from;
    ssize_t n = recvfrom(sock, buf, kAnswerLimit, 0, reinterpret_cast<struct sockaddr *>(&from), &from_len);
    if (n < 0) {
      printf("err: recvfrom");
      close(sock);
      return -1;
    }
    buf[n] = '\0';
    std::string_view answer(buf, static_cast<size_t>(n));
    if (!answer_passes(answer)) {
      printf("err: ssdp parsing ");
      close(sock);
      return -1;
    }
    if (answer_is_storage(answer))
      get_info_from_ssdp(answer);
  }
  printf("close(sock)\n");
  close(sock);
  return 0;
}
