#include "report.h"

#include "names.h"

#include <cinttypes>

namespace {

constexpr size_t kTextSize = 48;

// bytes/s * 8 / 1000, by long division in 16-bit steps: a 64-bit division
// would pull the compiler's division routine into the router binary.
uint64_t kbit(uint64_t bytesPerSecond)
{
  auto high = static_cast<uint32_t>(bytesPerSecond >> 32);
  auto low = static_cast<uint32_t>(bytesPerSecond);
  const uint32_t parts[] = {high >> 16, high & 0xffff, low >> 16, low & 0xffff};
  uint64_t quotient = 0;
  uint32_t rest = 0;
  for (uint32_t part : parts) {
    part |= rest << 16;
    quotient = (quotient << 16) | part / 125;
    rest = part % 125;
  }
  return quotient;
}

bool hasParentIn(const DeviceTree &tree, const TcClass &c)
{
  for (int i = 0; i < tree.count; ++i)
    if (tree.classes[i].id == c.parent && &tree.classes[i] != &c)
      return true;
  return false;
}

// A child of parent, or with parent nullptr a class whose parent is not in
// the tree (the root class, under the qdisc).
bool isChildOf(const DeviceTree &tree, const TcClass &c, const TcClass *parent)
{
  return parent != nullptr ? c.parent == parent->id && &c != parent : !hasParentIn(tree, c);
}

// Among parent's children, the one with the smallest id above after (any id
// when first).
const TcClass *nextChild(const DeviceTree &tree, const TcClass *parent, uint32_t after, bool first)
{
  const TcClass *best = nullptr;
  for (int i = 0; i < tree.count; ++i) {
    const TcClass &c = tree.classes[i];
    if (!isChildOf(tree, c, parent) || (!first && c.id <= after))
      continue;
    if (best == nullptr || c.id < best->id)
      best = &c;
  }
  return best;
}

using ClassVisit = void (*)(FILE *out, const TcClass &c, int depth, bool first);

// Each class under its parent, children in the order of their ids; the depth
// bound only guards against a reply that loops.
constexpr int kMaxDepth = 16;

void walkFrom(FILE *out, const DeviceTree &tree, const TcClass *parent, int depth, ClassVisit visit, bool *first)
{
  if (depth >= kMaxDepth)
    return;
  uint32_t after = 0;
  bool firstChild = true;
  while (const TcClass *c = nextChild(tree, parent, after, firstChild)) {
    visit(out, *c, depth, *first);
    *first = false;
    walkFrom(out, tree, c, depth + 1, visit, first);
    after = c->id;
    firstChild = false;
  }
}

void walkTree(FILE *out, const DeviceTree &tree, ClassVisit visit)
{
  bool first = true;
  walkFrom(out, tree, nullptr, 0, visit, &first);
}

// The numbers of a class, in the same order in both forms.
void printCounters(FILE *out, const TcClass &c, bool json)
{
  fprintf(out,
          json ? ", \"rate_kbit\": %" PRIu64 ", \"ceil_kbit\": %" PRIu64 ", \"prio\": %u, \"bytes\": %" PRIu64
                 ", \"packets\": %" PRIu64 ", \"drops\": %" PRIu64 ", \"overlimits\": %" PRIu64
               : " %6" PRIu64 " %6" PRIu64 " %4u %12" PRIu64 " %10" PRIu64 " %8" PRIu64 " %10" PRIu64,
          kbit(c.rate), kbit(c.ceil), c.prio, c.bytes, c.packets, c.drops, c.overlimits);
  if (c.hasRateNow)
    fprintf(out, json ? ", \"rate_now_bit\": %" PRIu64 ", \"rate_now_pkt\": %" PRIu64 : "  now %" PRIu64 " bit/s %" PRIu64 " pkt/s",
            c.rateNow * 8, c.packetsNow);
}

void printClassLine(FILE *out, const TcClass &c, int depth, bool)
{
  char id[16];
  char purpose[kTextSize];
  handleText(c.id, id, sizeof id);
  classPurpose(c.id, purpose, sizeof purpose);
  int indent = 2 + 2 * depth;
  int width = indent < 13 ? 13 - indent : 1;
  fprintf(out, "%*s%-*s %-26s", indent, "", width, id, purpose);
  printCounters(out, c, false);
  fputc('\n', out);
}

// A device name is bytes, not text: any byte but '/', ':' and blanks. Each
// control or non-ASCII byte is '?' in the text, and in JSON its own \u00XX
// escape, so the name comes back byte for byte.
bool isPlain(unsigned char c)
{
  return c >= 0x20 && c < 0x7f;
}

void printTextName(FILE *out, const char *name)
{
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p != '\0'; ++p)
    fputc(isPlain(*p) ? *p : '?', out);
}

void printJsonString(FILE *out, const char *text)
{
  fputc('"', out);
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != '\0'; ++p) {
    if (*p == '"' || *p == '\\')
      fprintf(out, "\\%c", *p);
    else if (!isPlain(*p))
      fprintf(out, "\\u%04x", *p);
    else
      fputc(*p, out);
  }
  fputc('"', out);
}

void printClassJson(FILE *out, const TcClass &c, int, bool first)
{
  char id[16];
  char parent[16];
  char purpose[kTextSize];
  handleText(c.id, id, sizeof id);
  handleText(c.parent, parent, sizeof parent);
  classPurpose(c.id, purpose, sizeof purpose);
  fprintf(out, "%s\n    {\"id\": \"%s\", \"parent\": \"%s\", \"name\": ", first ? "" : ",", id, parent);
  printJsonString(out, purpose);
  printCounters(out, c, true);
  fputc('}', out);
}

} // namespace

void printTreeText(FILE *out, const DeviceTree &tree)
{
  char handle[16];
  handleText(tree.handle, handle, sizeof handle);
  const char *role = treeRole(tree.handle >> 16);
  printTextName(out, tree.device);
  fprintf(out, ": %s%sHTB tree %s\n", role != nullptr ? role : "", role != nullptr ? " " : "", handle);
  fputs("  class       for                          rate   ceil prio        bytes    packets    drops overlimits\n", out);
  walkTree(out, tree, printClassLine);
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
  walkTree(out, tree, printClassJson);
  fputs("]}", out);
}

void printJsonEnd(FILE *out)
{
  fputs("]}\n", out);
}
