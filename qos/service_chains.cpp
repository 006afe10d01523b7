// Service port chains that follow the port-mapping files of five services.
#include "service_chains.h"

#include "apply.h"
#include "fields.h"
#include "rules.h"
#include "state.h"

#include "nvram.h"

#include <cstdio>
#include <cstring>

namespace {

// Towards the LAN the hosts' mapped ports are the packets' destination and
// the services' well-known ports their source; towards the WAN the reverse.
struct DirectionParams {
  const char *dev;
  const char *fileOption;
  const char *fixedOption;
};

DirectionParams directionParams(int direction)
{
  if (direction == 1)
    return {WAN_IF, "--sport", "--dport"};
  return {BR_IF, "--dport", "--sport"};
}

// "-t mangle -A <chain> -o <dev> ": where a service's rules go.
void chainHead(const Service &s, const DirectionParams &p, char (&head)[96])
{
  snprintf(head, sizeof head, "-t mangle -A %s -o %s ", s.chain, p.dev);
}

// The marking pairs of a service's well-known ports (im, voip) in its chain,
// ahead of the ports from its file.
void markServiceWellKnownPorts(const Service &s, const DirectionParams &p, int mark)
{
  char head[96];
  chainHead(s, p, head);
  for (int i = 0; i < s.fixedCount; ++i) {
    const FixedPort &f = s.fixedPorts[i];
    char matches[24];
    snprintf(matches, sizeof matches, " %s %d", p.fixedOption, f.port);
    markPair({Family::Both, head, f.proto, matches}, mark);
  }
}

void fileRules(const Service &s, const DirectionParams &p, int mark, const char *piece)
{
  PortLine line;
  splitPortLine(piece, line);
  if (!line.usable) {
    if (piece[0] == '\n')
      return; // a blank line maps nothing
    // Written on behalf of a LAN host: a line that is not a plain protocol
    // and port never reaches the shell.
    printf("%s---%s notify %s: skipped a line without a plain protocol and port ---\n", kVxTag, s.label, s.name);
    return;
  }
  const char *dev = p.dev;
  const char *word = BR_IF != nullptr && strcmp(dev, BR_IF) == 0 ? "To LAN" : "To WAN";
  printf("%s---%s notify %s %s %s port=%s ---\n", kVxTag, s.label, s.name, line.proto, word, line.port);
  char head[96];
  char portMatch[24];
  chainHead(s, p, head);
  snprintf(portMatch, sizeof portMatch, " %s %s", p.fileOption, line.port);
  markPair({Family::Both, head, line.proto, portMatch}, mark);
}

// Opens the service's file in `dir`; false when it is missing or not a
// regular file.
bool openServiceFile(PortFileReader &reader, const char *dir, const Service &s)
{
  char path[64];
  // The name's length bound by its array, which the compiler cannot see
  // through the table (it would warn of truncation).
  snprintf(path, sizeof path, "%s/%.*s", dir, static_cast<int>(sizeof s.name), s.name);
  return portFileOpen(reader, path);
}

// Closes the file, saying once per file and run that lines were left out.
void closeServiceFile(PortFileReader &reader, const char *dir, const Service &s)
{
  const unsigned bit = 1u << (&s - kServices);
  if (reader.cut && (portFilesCutReported & bit) == 0) {
    portFilesCutReported |= bit;
    printf("%s%s/%s: only the first %d lines are used\n", kVxTag, dir, s.name, kPortFileLines);
  }
  portFileClose(reader);
}

// The file's text as the build and the check both see it.
bool readSnapshot(const char *dir, const Service &s, ServiceSnapshot &snap)
{
  PortFileReader reader;
  if (!openServiceFile(reader, dir, s))
    return false;
  snapshotClear(snap);
  char piece[kPieceMax + 1];
  while (portFileNext(reader, piece))
    snapshotAppend(snap, piece);
  closeServiceFile(reader, dir, s);
  return true;
}

// The service's rules for one direction in its chain: its well-known ports,
// then a marking pair for each line of its file in `dir`. `seen`, when given,
// receives the file's text. False when the file is missing.
bool chainRules(const char *dir, const Service &s, const DirectionParams &p, int mark, ServiceSnapshot *seen)
{
  markServiceWellKnownPorts(s, p, mark);
  PortFileReader reader;
  if (!openServiceFile(reader, dir, s))
    return false;
  if (seen != nullptr)
    snapshotClear(*seen);
  char piece[kPieceMax + 1];
  while (portFileNext(reader, piece)) {
    fileRules(s, p, mark, piece);
    if (seen != nullptr)
      snapshotAppend(*seen, piece);
  }
  closeServiceFile(reader, dir, s);
  return true;
}

} // namespace

const Service *serviceByName(const char *name)
{
  for (const Service &s : kServices) {
    if (name != nullptr && strcmp(s.name, name) == 0)
      return &s;
  }
  return nullptr;
}

const Service *serviceByType(int type)
{
  for (const Service &s : kServices) {
    if (s.type == type)
      return &s;
  }
  return nullptr;
}

void iptableCreateChain(const char *chain)
{
  char head[64];
  snprintf(head, sizeof head, "-t mangle -N %s 1>/dev/null 2>&1", chain);
  issueRule({Family::Both, head});
  snprintf(head, sizeof head, "-t mangle -A FORWARD -j  %s 1>/dev/null 2>&1", chain);
  issueRule({Family::Both, head});
}

int iptableCreateFulsh(const char *chain)
{
  char head[64];
  snprintf(head, sizeof head, "-t mangle -F %s 1>/dev/null 2>&1", chain);
  return issueRule({Family::Both, head});
}

int doServiceChain(const char *dir, const char *name, int direction, int mark, ServiceSnapshot &seen)
{
  const Service *s = serviceByName(name);
  if (s == nullptr)
    return -1;
  DirectionParams p = directionParams(direction);
  if (p.dev == nullptr)
    return -1;
  return chainRules(dir, *s, p, mark, &seen) ? 0 : -1;
}

int doChangeServiceChain(const char *dir, int type)
{
  printf("%sdoChangeServiceChain start...\n", kVxTag);
  const Service *s = serviceByType(type);
  if (s == nullptr)
    return -1;
  char key[16];
  snprintf(key, sizeof key, "QoSAppRules%d", type);
  const char *entry = nvram_bufget(0, key);
  if (entry == nullptr)
    entry = "";
  // Only the text "0" means off here; the enables of the two directions sit
  // at fields 2 and 5, where an entry with a rate value in direction 0 has them.
  char field[3] = {};
  getNthValueSafe(1, entry, ',', field, sizeof field);
  if (strcmp(field, "0") == 0) {
    printf("%sService %s disabled !!\n ", kVxTag, s->name);
    return -1;
  }
  bool flushed = false;
  constexpr int kEnableField[2] = {2, 5};
  for (int direction = 0; direction < 2; ++direction) {
    char enable[3] = {};
    getNthValueSafe(kEnableField[direction], entry, ',', enable, sizeof enable);
    DirectionParams p = directionParams(direction);
    if (strcmp(enable, "0") == 0 || p.dev == nullptr)
      continue;
    if (!flushed) {
      iptableCreateFulsh(s->chain);
      flushed = true;
    }
    if (!chainRules(dir, *s, p, s->mark, nullptr)) {
      printf("%s NO %s file\n", kVxTag, s->name);
      return -1;
    }
  }
  return 0;
}

int doCheckService(const char *dir, const ServiceSnapshots &built)
{
  for (int i = 0; i < kServiceCount; ++i) {
    const Service &s = kServices[i];
    ServiceSnapshot now;
    if (!readSnapshot(dir, s, now))
      continue;
    if (!snapshotSame(now, built.of[i])) {
      printf("%sSeem %s have update\n", kVxTag, s.name);
      doChangeServiceChain(dir, s.type);
    }
  }
  return 0;
}
