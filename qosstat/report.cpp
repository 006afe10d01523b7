#include "report.h"

#include "names.h"

#include <cinttypes>

namespace {

constexpr size_t kTextSize = 48;

uint64_t kbit(uint64_t bytesPerSecond)
{
  return bytesPerSecond * 8 / 1000;
}

bool hasParentIn(const DeviceTree &tree, const TcClass &c)
{
  for (int i = 0; i < tree.count; ++i)
    if (tree.classes[i].id == c.parent && &tree.classes[i] != &c)
      return true;
  return false;
}

// The class with the smallest id above after among those that isChild picks.
template <typename Pick> const TcClass *nextClass(const DeviceTree &tree, uint32_t after, bool started, Pick isChild)
{
  const TcClass *best = nullptr;
  for (int i = 0; i < tree.count; ++i) {
    const TcClass &c = tree.classes[i];
    if (!isChild(c) || (started && c.id <= after))
      continue;
    if (best == nullptr || c.id < best->id)
      best = &c;
  }
  return best;
}

void printClassLine(FILE *out, const TcClass &c, int depth)
{
  char id[16];
  char purpose[kTextSize];
  handleText(c.id, id, sizeof id);
  classPurpose(c.id, purpose, sizeof purpose);
  int indent = 2 + 2 * depth;
  int width = indent < 13 ? 13 - indent : 1;
  fprintf(out, "%*s%-*s %-26s %6" PRIu64 " %6" PRIu64 " %4u %12" PRIu64 " %10" PRIu64 " %8" PRIu64 " %10" PRIu64, indent,
          "", width, id, purpose, kbit(c.rate), kbit(c.ceil), c.prio, c.bytes, c.packets, c.drops, c.overlimits);
  if (c.hasRateNow)
    fprintf(out, "  now %" PRIu64 " bit/s %" PRIu64 " pkt/s", c.rateNow * 8, c.packetsNow);
  fputc('\n', out);
}

// Each class under its parent, children in the order of their ids; the depth
// bound only guards against a reply that loops.
constexpr int kMaxDepth = 16;

template <typename Visit> void walkFrom(const DeviceTree &tree, const TcClass *parent, int depth, Visit &visit)
{
  if (depth >= kMaxDepth)
    return;
  auto isChild = [&tree, parent](const TcClass &k) {
    return parent != nullptr ? k.parent == parent->id && &k != parent : !hasParentIn(tree, k);
  };
  bool started = false;
  uint32_t after = 0;
  while (const TcClass *c = nextClass(tree, after, started, isChild)) {
    visit(*c, depth);
    walkFrom(tree, c, depth + 1, visit);
    after = c->id;
    started = true;
  }
}

template <typename Visit> void walkTree(const DeviceTree &tree, Visit visit)
{
  walkFrom(tree, nullptr, 0, visit);
}

// A device name may hold any byte but '/' and blanks: escape what JSON needs.
void printJsonString(FILE *out, const char *text)
{
  fputc('"', out);
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != '\0'; ++p) {
    if (*p == '"' || *p == '\\')
      fprintf(out, "\\%c", *p);
    else if (*p < 0x20)
      fprintf(out, "\\u%04x", *p);
    else
      fputc(*p, out);
  }
  fputc('"', out);
}

void printClassJson(FILE *out, const TcClass &c, bool first)
{
  char id[16];
  char parent[16];
  char purpose[kTextSize];
  handleText(c.id, id, sizeof id);
  handleText(c.parent, parent, sizeof parent);
  classPurpose(c.id, purpose, sizeof purpose);
  fprintf(out, "%s\n    {\"id\": \"%s\", \"parent\": \"%s\", \"name\": ", first ? "" : ",", id, parent);
  printJsonString(out, purpose);
  fprintf(out,
          ", \"rate_kbit\": %" PRIu64 ", \"ceil_kbit\": %" PRIu64 ", \"prio\": %u, \"bytes\": %" PRIu64
          ", \"packets\": %" PRIu64 ", \"drops\": %" PRIu64 ", \"overlimits\": %" PRIu64,
          kbit(c.rate), kbit(c.ceil), c.prio, c.bytes, c.packets, c.drops, c.overlimits);
  if (c.hasRateNow)
    fprintf(out, ", \"rate_now_bit\": %" PRIu64 ", \"rate_now_pkt\": %" PRIu64, c.rateNow * 8, c.packetsNow);
  fputc('}', out);
}

} // namespace

void printTreeText(FILE *out, const DeviceTree &tree)
{
  char handle[16];
  handleText(tree.handle, handle, sizeof handle);
  const char *role = treeRole(tree.handle >> 16);
  fprintf(out, "%s: %s%sHTB tree %s\n", tree.device, role != nullptr ? role : "", role != nullptr ? " " : "",
          handle);
  fprintf(out, "  %-11s %-26s %6s %6s %4s %12s %10s %8s %10s\n", "class", "for", "rate", "ceil", "prio", "bytes",
          "packets", "drops", "overlimits");
  walkTree(tree, [out](const TcClass &c, int depth) { printClassLine(out, c, depth); });
}

void printJsonBegin(FILE *out)
{
  fputs("{\"devices\": [", out);
}

void printTreeJson(FILE *out, const DeviceTree &tree, bool first)
{
  char handle[16];
  handleText(tree.handle, handle, sizeof handle);
  const char *role = treeRole(tree.handle >> 16);
  fprintf(out, "%s\n  {\"device\": ", first ? "" : ",");
  printJsonString(out, tree.device);
  fprintf(out, ", \"role\": ");
  printJsonString(out, role != nullptr ? role : "");
  fprintf(out, ", \"handle\": \"%s\", \"classes\": [", handle);
  bool firstClass = true;
  walkTree(tree, [out, &firstClass](const TcClass &c, int) {
    printClassJson(out, c, firstClass);
    firstClass = false;
  });
  fputs("]}", out);
}

void printJsonEnd(FILE *out)
{
  fputs("]}\n", out);
}
