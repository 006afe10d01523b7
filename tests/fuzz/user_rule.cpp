// The user rules ("QoSUserRules0" to "QoSUserRules7", one line of the input
// each): every record read on its own and checked, then the whole user-rule
// step run through the real code with its commands recorded and checked, in
// the mode that runs each command and in batch mode.
#include "check.h"
#include "qos_run.h"

#include "qos_seams.h"
#include "user_rules.h"
#include "validate.h"

#include "fake_nvram.h"

#include <cstdio>
#include <cstring>

namespace {

// An empty fragment, or one that ends with the range's last value.
template <size_t N> bool ends_with(const char (&fragment)[N], const char *last)
{
  if (!fits(fragment, N))
    return false;
  std::string_view f(fragment);
  return f.empty() || (f.ends_with(last) && f.size() > strlen(last));
}

void check_record(const char *record)
{
  UserRule rule;
  UserRuleProblem problem;
  UserRuleRead read = readUserRule(record, rule, problem);
  if (read == UserRuleRead::Invalid)
    FUZZ_CHECK(problem.expected != nullptr);
  if (read != UserRuleRead::Ready)
    return;
  FUZZ_CHECK(rule.direction == 0 || rule.direction == 1);
  FUZZ_CHECK(rule.category >= 0 && rule.category <= 5);
  FUZZ_CHECK(rule.kind == 0 || rule.kind == 1);
  FUZZ_CHECK(rule.bandwidth >= 10);
  FUZZ_CHECK(rule.protocol >= 0 && rule.protocol <= 2);
  FUZZ_CHECK(rule.protoNumber >= 0 && rule.protoNumber <= 255);
  for (int i = 0; i < kUserSelectorCount; ++i) {
    const char *s = rule.selector[i];
    FUZZ_CHECK(fits(s, sizeof rule.selector[i]));
    if (!selectorSet(rule, static_cast<UserSelector>(i)))
      continue;
    bool address = i == DstFirst || i == DstLast || i == SrcFirst || i == SrcLast;
    FUZZ_CHECK_TEXT(address ? is_dotted_ipv4(s) : is_port(s), s);
  }
  UserRuleMatch match;
  buildUserRuleMatch(rule, match);
  // Each fragment whole: a cut one would be another match.
  FUZZ_CHECK(fits(match.protocol, sizeof match.protocol));
  FUZZ_CHECK(ends_with(match.srcPorts, rule.selector[SrcPortLast]));
  FUZZ_CHECK(ends_with(match.dstPorts, rule.selector[DstPortLast]));
  FUZZ_CHECK(ends_with(match.srcRange, rule.selector[SrcLast]));
  FUZZ_CHECK(ends_with(match.dstRange, rule.selector[DstLast]));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  qos_run_init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 2048)
    return 0;
  std::vector<std::string> records = fuzz_split(fuzz_text(data, size), '\n');
  fake_nvram_clear();
  for (size_t n = 0; n < records.size() && n < 8; ++n) {
    check_record(records[n].c_str());
    char key[16];
    snprintf(key, sizeof key, "QoSUserRules%zu", n);
    fake_nvram_set(key, records[n].c_str());
  }

  for (ApplyMode mode : {ApplyMode::RunNow, ApplyMode::Batch}) {
    qos_run_start(mode, size % 2 == 0);
    startSetUserRule();
    qos_run_finish();
  }
  return 0;
}
