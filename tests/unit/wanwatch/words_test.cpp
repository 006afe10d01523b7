// Configuration values reach the started programs as single literal words.
#include "link_fake.h"

#include "command_line.h"
#include "fake_nvram.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>

// A format compiles only when every '%' is a %s, one per value: anything else
// would have the line builder take a value for what is not one.
static_assert(words::countValues("pppoe.sh %s %s") == 2);
static_assert(words::countValues("l2tpd") == 0);
static_assert(words::countValues("sleep %d") == -1);
static_assert(words::countValues("100%") == -1);
static_assert(words::countValues("%%s") == -1);

namespace {

// What a real shell makes of a recorded line: the words after the command
// name, each in [brackets]. The command name is replaced by printf, and the
// values below only ever echo, so a quoting fault shows as a wrong word list
// and does nothing else.
std::string wordsOf(const std::string &line)
{
  std::string probe = "printf '[%s]'" + line.substr(line.find(' '));
  FILE *sh = popen(probe.c_str(), "r");
  std::string out;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, sh)) > 0)
    out.append(buf, n);
  pclose(sh);
  return out;
}

const char kNasty[] = "p a'ss\"; echo injected $(echo sub) `echo tick` $$ \\ | cat";

} // namespace

TEST_F(TickTest, ScriptsGetFiveLiteralArgumentsWhateverTheValues)
{
  fake_nvram_load({{"OP_Mode", "0"},
                   {"wanConnectionMode", "PPPOE"},
                   {"wan_pppoe_user", "user name"},
                   {"wan_pppoe_pass", kNasty},
                   {"wan_pppoe_opmode", ""},
                   {"wan_pppoe_optime", ""}});
  g_link.port = 1;
  auto lines = ticks();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(wordsOf(lines[1]), std::string("[user name][") + kNasty + "][eth2.2][][]");
}

TEST_F(TickTest, EveryValueOfEveryTypeIsOneWord)
{
  fake_nvram_load({{"OP_Mode", "0"},
                   {"wanConnectionMode", "L2TP"},
                   {"wan_l2tp_mode", "0"},
                   {"wan_l2tp_user", ""},
                   {"wan_l2tp_pass", kNasty},
                   {"wan_l2tp_server", "lns.example.net; echo injected"},
                   {"wan_l2tp_ip", "10.0.0.2 up"},
                   {"wan_l2tp_netmask", "$(echo sub)"},
                   {"wan_l2tp_gateway", "10.0.0.1 && echo injected"},
                   {"SystemName", "my router's"}});
  g_link.port = 1;
  auto lines = ticks();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(wordsOf(lines[2]), "[eth2.2][10.0.0.2 up][netmask][$(echo sub)]");
  EXPECT_EQ(wordsOf(lines[4]), "[add][default][gw][10.0.0.1 && echo injected]");
  EXPECT_EQ(lines[5], "write /var/physical_wanIf_gw: 10.0.0.1 && echo injected\n");
  EXPECT_EQ(wordsOf(lines[6]), std::string("[][") + kNasty + "][lns.example.net; echo injected][][]");
  EXPECT_EQ(wordsOf(lines[10]), "[start-session lns.example.net; echo injected]");

  fake_nvram_set("wan_l2tp_mode", "1");
  lastStatus = 0;
  lines = ticks();
  EXPECT_EQ(wordsOf(lines[3]), "[-i][eth2.2][-s][/sbin/udhcpc.sh][-p][/var/run/udhcpc.pid][-h][my router's]");

  fake_nvram_load({{"OP_Mode", "1"}, {"lan_gateway", "1.2.3.4`echo injected`"}});
  EXPECT_EQ(ticks()[0], "write /var/physical_wanIf_gw: 1.2.3.4`echo injected`\n");
}

TEST_F(TickTest, LongValuesAreRefusedWholeNeverCut)
{
  // A value that fits, however long, arrives whole.
  std::string longPass(1500, 'x');
  fake_nvram_load({{"OP_Mode", "0"}, {"wanConnectionMode", "PPTP"}, {"wan_pptp_pass", longPass.c_str()}});
  g_link.port = 1;
  auto lines = ticks();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(wordsOf(lines[0]), "[][" + longPass + "][][][]");

  // One that would not fit: the script is not run, the rest of the sequence is.
  std::string hugeServer(kCommandMax, 's');
  fake_nvram_load({{"OP_Mode", "0"}, {"wanConnectionMode", "L2TP"}, {"wan_l2tp_server", hugeServer.c_str()}});
  lastStatus = 0;
  startOutput();
  lines = ticks();
  EXPECT_EQ(output(), "wanwatch: command too long, not run: l2tp.sh\n"
                      "wanwatch: command too long, not run: l2tp-control\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"write /etc/link: 0\n", "l2tpd", "sleep 1"}));

  // Quotes take four characters each in the line.
  std::string quotes(kCommandMax / 4, '\'');
  startOutput();
  EXPECT_EQ(runWords("route add default gw %s", quotes.c_str()), -1);
  EXPECT_EQ(output(), "wanwatch: command too long, not run: route\n");
  std::string fits(kCommandMax / 4 - 10, '\'');
  EXPECT_EQ(runWords("route add default gw %s", fits.c_str()), 0);
  EXPECT_EQ(wordsOf(commands().back()), "[add][default][gw][" + fits + "]");
}
