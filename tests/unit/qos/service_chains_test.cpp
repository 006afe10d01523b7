// Service port chains: the port-mapping file reader, the snapshots, and the
// exact commands of the build, the modify request and the end-of-build check.
#include "qos_test.h"
#include "tempdir.h"

#include "port_mapping.h"
#include "service_chains.h"

#include <cstring>

namespace {

Lines pieces(const TempDir &dir, const char *name)
{
  PortFileReader r;
  Lines out;
  if (!portFileOpen(r, dir.file(name).c_str()))
    return {"(no file)"};
  char piece[kPieceMax + 1];
  while (portFileNext(r, piece))
    out.emplace_back(piece);
  portFileClose(r);
  return out;
}

// The snapshot the build would take of a file holding text.
ServiceSnapshot snapshotOf(const std::string &text)
{
  TempDir dir;
  dir.write("f", text);
  ServiceSnapshot s;
  snapshotClear(s);
  for (const std::string &piece : pieces(dir, "f"))
    snapshotAppend(s, piece.c_str());
  return s;
}

} // namespace

TEST(PortMappingFile, ReadInPiecesOfAtMostThirtyCharacters)
{
  TempDir dir;
  std::string forty(40, 'x');
  dir.write("a", "tcp,192.168.1.10,800\n" + forty + "\nudp,192.168.1.11,801");
  EXPECT_EQ(pieces(dir, "a"), (Lines{"tcp,192.168.1.10,800\n", std::string(30, 'x'), std::string(10, 'x') + "\n",
                                     "udp,192.168.1.11,801"}));
  // a line of exactly thirty characters leaves its newline as a piece of its own
  dir.write("b", std::string(30, 'y') + "\nz\n");
  EXPECT_EQ(pieces(dir, "b"), (Lines{std::string(30, 'y'), "\n", "z\n"}));
  // reading stops at a piece that holds no text
  dir.write("c", std::string("tcp,h,1\n\0tcp,h,2\n", 17));
  EXPECT_EQ(pieces(dir, "c"), (Lines{"tcp,h,1\n"}));
  dir.write("d", "");
  EXPECT_EQ(pieces(dir, "d"), Lines{});
  // longer than the reader's buffer
  std::string many;
  for (int i = 0; i < 100; ++i)
    many += "tcp,192.168.1.100," + std::to_string(1000 + i) + "\n";
  dir.write("e", many);
  Lines got = pieces(dir, "e");
  ASSERT_EQ(got.size(), 100u);
  EXPECT_EQ(got[99], "tcp,192.168.1.100,1099\n");
}

TEST(PortMappingFile, LinesSplitAndCheckedBeforeTheyReachAnyCommand)
{
  struct Case {
    const char *piece;
    const char *proto, *port;
    bool usable;
  } cases[] = {
      {"tcp,192.168.1.10,800\n", "tcp", "800", true},
      {"udp,192.168.1.10,6881", "udp", "6881", true},
      {"17,h,100:200\n", "17", "100:200", true},
      {"tcp,h\n", "tcp", "", false},
      {"tcp\n", "tcp", "", false},
      {"\n", "", "", false},
      {"tcp,h,800;reboot\n", "tcp", "800;reb", false},
      {"tcp,h,$(id)\n", "tcp", "$(id)", false},
      {"tcp;id,h,80\n", "tcp;id", "80", false},
      {"tcp,h,100:2000\n", "tcp", "100:200", false}, // cut, it would be another range
      {"ipv6-icmp,h,80\n", "ipv6-ic", "80", false},
      {"tcp,h,99999\n", "tcp", "99999", false},
      {"tcp,h,900:800\n", "tcp", "900:800", false},
      {"tcp,h,80,9\n", "tcp", "80", true},
      {"dscp,h,80\n", "dscp", "80", false}, // a match's name, no protocol
  };
  for (const Case &c : cases) {
    PortLine l;
    splitPortLine(c.piece, l);
    EXPECT_STREQ(l.proto, c.proto) << c.piece;
    EXPECT_STREQ(l.port, c.port) << c.piece;
    EXPECT_EQ(l.usable, c.usable) << c.piece;
  }
}

TEST(PortMappingFile, SnapshotsCutAlikeAndStillSeeChangesBeyondTheCut)
{
  std::string lines;
  for (int i = 0; i < 40; ++i)
    lines += "tcp,192.168.1.100," + std::to_string(2000 + i) + "\n";
  ServiceSnapshot a = snapshotOf(lines);
  EXPECT_EQ(strlen(a.text), 511u);
  EXPECT_EQ(a.length, lines.size() - 40);
  EXPECT_TRUE(snapshotSame(a, snapshotOf(lines)));
  std::string changed = lines;
  changed[changed.size() - 2] = '7'; // far beyond the 511 characters kept
  EXPECT_FALSE(snapshotSame(a, snapshotOf(changed)));
  EXPECT_FALSE(snapshotSame(a, snapshotOf(lines + "udp,h,1\n")));
  // an empty file matches a snapshot never taken
  ServiceSnapshot never{};
  EXPECT_TRUE(snapshotSame(never, snapshotOf("")));
  EXPECT_EQ(std::string(snapshotOf("tcp,h,1\nudp,h,2").text), "tcp,h,1udp,h,2");
}

class ServiceChains : public QosTest {
protected:
  void SetUp() override
  {
    QosTest::SetUp();
    gatewayDevices();
  }
  TempDir dir; // stands in for /var
};

TEST_F(ServiceChains, BittorrentBothDirectionsOneSnapshot)
{
  dir.write("bittorrent", "tcp,192.168.1.10,800\nudp,192.168.1.10,800\n");
  startOutput();
  ServiceSnapshot first, second;
  EXPECT_EQ(doServiceChain(dir.path(), "bittorrent", 0, 56, first), 0);
  dir.write("bittorrent", "tcp,192.168.1.10,800\n");
  EXPECT_EQ(doServiceChain(dir.path(), "bittorrent", 1, 56, second), 0);
  EXPECT_EQ(output(), "vx_qos: ---UPnP notify bittorrent tcp To LAN port=800 ---\n"
                      "vx_qos: ---UPnP notify bittorrent udp To LAN port=800 ---\n"
                      "vx_qos: ---UPnP notify bittorrent tcp To WAN port=800 ---\n");
  EXPECT_EQ(commands(), (Lines{
      "iptables -t mangle -A qos_bt_chain -o br0 -p tcp --dport 800 -j MARK --set-mark 56",
      "iptables -t mangle -A qos_bt_chain -o br0 -p tcp --dport 800 -j RETURN",
      "iptables -t mangle -A qos_bt_chain -o br0 -p udp --dport 800 -j MARK --set-mark 56",
      "iptables -t mangle -A qos_bt_chain -o br0 -p udp --dport 800 -j RETURN",
      "iptables -t mangle -A qos_bt_chain -o eth2.2 -p tcp --sport 800 -j MARK --set-mark 56",
      "iptables -t mangle -A qos_bt_chain -o eth2.2 -p tcp --sport 800 -j RETURN",
  }));
  EXPECT_STREQ(first.text, "tcp,192.168.1.10,800udp,192.168.1.10,800");
  EXPECT_STREQ(second.text, "tcp,192.168.1.10,800");
}

TEST_F(ServiceChains, FixedPortsComeFirstAndStayWithoutAFile)
{
  startOutput();
  ServiceSnapshot seen;
  EXPECT_EQ(doServiceChain(dir.path(), "im", 1, 40, seen), -1);
  EXPECT_EQ(output(), "");
  EXPECT_EQ(commands(), (Lines{
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --dport 1863 -j MARK --set-mark 40",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --dport 1863 -j RETURN",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --dport 5050 -j MARK --set-mark 40",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --dport 5050 -j RETURN",
  }));

  recorded_commands().clear();
  dir.write("voip", "udp,192.168.1.20,5062");
  startOutput();
  EXPECT_EQ(doServiceChain(dir.path(), "voip", 0, 36, seen), 0);
  EXPECT_EQ(output(), "vx_qos: ---ALG notify voip udp To LAN port=5062 ---\n");
  EXPECT_EQ(commands(), (Lines{
      "iptables -t mangle -A qos_voip_chain -o br0 -p tcp --sport 5060 -j MARK --set-mark 36",
      "iptables -t mangle -A qos_voip_chain -o br0 -p tcp --sport 5060 -j RETURN",
      "iptables -t mangle -A qos_voip_chain -o br0 -p udp --sport 5060 -j MARK --set-mark 36",
      "iptables -t mangle -A qos_voip_chain -o br0 -p udp --sport 5060 -j RETURN",
      "iptables -t mangle -A qos_voip_chain -o br0 -p udp --dport 5062 -j MARK --set-mark 36",
      "iptables -t mangle -A qos_voip_chain -o br0 -p udp --dport 5062 -j RETURN",
  }));
}

TEST_F(ServiceChains, BadLinesAreSkippedAndTheRestHandled)
{
  dir.write("ftp", "tcp,h,21;reboot\n\ntcp,h,$(id)\n'tcp,h,21\ntcp,192.168.1.30,2121\n");
  startOutput();
  ServiceSnapshot seen;
  EXPECT_EQ(doServiceChain(dir.path(), "ftp", 0, 48, seen), 0);
  EXPECT_EQ(output(), "vx_qos: ---ALG notify ftp: skipped a line without a plain protocol and port ---\n"
                      "vx_qos: ---ALG notify ftp: skipped a line without a plain protocol and port ---\n"
                      "vx_qos: ---ALG notify ftp: skipped a line without a plain protocol and port ---\n"
                      "vx_qos: ---ALG notify ftp tcp To LAN port=2121 ---\n");
  EXPECT_EQ(commands().size(), 2u);
}

TEST_F(ServiceChains, ModifyFlushesOnceAndRebuildsEnabledDirections)
{
  fake_nvram_load({{"QoSAppRules5", "0,1,1,1,100,1,0,200"}});
  dir.write("im", "tcp,192.168.1.40,6000\n");
  startOutput();
  EXPECT_EQ(doChangeServiceChain(dir.path(), 5), 0);
  EXPECT_EQ(output(), "vx_qos: doChangeServiceChain start...\n"
                      "vx_qos: ---UPnP notify im tcp To LAN port=6000 ---\n"
                      "vx_qos: ---UPnP notify im tcp To WAN port=6000 ---\n");
  EXPECT_EQ(commands(), (Lines{
      "iptables -t mangle -F qos_im_chain 1>/dev/null 2>&1",
      "iptables -t mangle -A qos_im_chain -o br0 -p tcp --sport 1863 -j MARK --set-mark 40",
      "iptables -t mangle -A qos_im_chain -o br0 -p tcp --sport 1863 -j RETURN",
      "iptables -t mangle -A qos_im_chain -o br0 -p tcp --sport 5050 -j MARK --set-mark 40",
      "iptables -t mangle -A qos_im_chain -o br0 -p tcp --sport 5050 -j RETURN",
      "iptables -t mangle -A qos_im_chain -o br0 -p tcp --dport 6000 -j MARK --set-mark 40",
      "iptables -t mangle -A qos_im_chain -o br0 -p tcp --dport 6000 -j RETURN",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --dport 1863 -j MARK --set-mark 40",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --dport 1863 -j RETURN",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --dport 5050 -j MARK --set-mark 40",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --dport 5050 -j RETURN",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --sport 6000 -j MARK --set-mark 40",
      "iptables -t mangle -A qos_im_chain -o eth2.2 -p tcp --sport 6000 -j RETURN",
  }));

  // the file gone: the LAN side is rebuilt, then the run stops
  recorded_commands().clear();
  dir.remove("im");
  startOutput();
  EXPECT_EQ(doChangeServiceChain(dir.path(), 5), -1);
  EXPECT_EQ(output(), "vx_qos: doChangeServiceChain start...\nvx_qos:  NO im file\n");
  ASSERT_EQ(commands().size(), 5u);
  EXPECT_EQ(commands()[0], "iptables -t mangle -F qos_im_chain 1>/dev/null 2>&1");
}

// Only the exact text "0" turns the service or a direction off, at the fixed
// fields 1, 2 and 5.
TEST_F(ServiceChains, ModifyReadsOnAsAnythingButZero)
{
  dir.write("ftp", "tcp,h,2121\n");
  struct Case {
    const char *entry;
    int rc;
    size_t commands; // flush + one pair per enabled direction
    const char *lastOutput;
  } cases[] = {
      {"0,0,1,1,100,1,1,100", -1, 0, "vx_qos: Service ftp disabled !!\n "},
      {"", 0, 5, "vx_qos: ---ALG notify ftp tcp To WAN port=2121 ---\n"},
      {"0,00,1,1,100,1,1,100", 0, 5, "vx_qos: ---ALG notify ftp tcp To WAN port=2121 ---\n"},
      {"0,1,0,1,100,1,1,100", 0, 3, "vx_qos: ---ALG notify ftp tcp To WAN port=2121 ---\n"},
      {"0,1,1,1,100,0,1,100", 0, 3, "vx_qos: ---ALG notify ftp tcp To LAN port=2121 ---\n"},
      {"0,1,0,1,100,0,1,100", 0, 0, "vx_qos: doChangeServiceChain start...\n"},
      // rate kind 2 moves direction 1's enable ("0") to field 4; field 5 is read anyway
      {"0,1,1,2,0,1,100", 0, 5, "vx_qos: ---ALG notify ftp tcp To WAN port=2121 ---\n"},
  };
  for (const Case &c : cases) {
    recorded_commands().clear();
    fake_nvram_load({{"QoSAppRules7", c.entry}});
    startOutput();
    EXPECT_EQ(doChangeServiceChain(dir.path(), 7), c.rc) << c.entry;
    std::string out = output();
    EXPECT_EQ(commands().size(), c.commands) << c.entry;
    std::string last = out.substr(out.rfind("vx_qos: "));
    EXPECT_EQ(last, c.lastOutput) << c.entry;
  }
  // a device missing from the run state skips its direction
  WAN_IF = nullptr;
  recorded_commands().clear();
  fake_nvram_load({{"QoSAppRules7", "0,1,1,1,100,1,1,100"}});
  startOutput();
  doChangeServiceChain(dir.path(), 7);
  output();
  EXPECT_EQ(commands().size(), 3u);
}

TEST_F(ServiceChains, CheckReappliesEveryChangedService)
{
  fake_nvram_load({{"QoSAppRules9", "0,1,1,1,100,1,1,100"},
                   {"QoSAppRules8", "0,0,1,1,100,1,1,100"},
                   {"QoSAppRules7", "0,1,1,1,100,1,1,100"}});
  dir.write("bittorrent", "tcp,h,6881\n");
  dir.write("ftp", "tcp,h,2121\n");
  ServiceSnapshots seen{};
  doServiceChain(dir.path(), "bittorrent", 0, 56, seen.of[0]);
  doServiceChain(dir.path(), "ftp", 0, 48, seen.of[3]);

  // unchanged files (and absent ones): nothing
  recorded_commands().clear();
  startOutput();
  EXPECT_EQ(doCheckService(dir.path(), seen), 0);
  EXPECT_EQ(output(), "");
  EXPECT_TRUE(commands().empty());

  // emule off with content, bittorrent and ftp changed: all three reported
  dir.write("emule", "udp,h,4672\n");
  dir.write("bittorrent", "tcp,h,6881\ntcp,h,6882\n");
  dir.write("ftp", "tcp,h,2122\n");
  startOutput();
  doCheckService(dir.path(), seen);
  std::string out = output();
  EXPECT_EQ(out.substr(0, out.find("---")),
            "vx_qos: Seem bittorrent have update\nvx_qos: doChangeServiceChain start...\nvx_qos: ");
  EXPECT_NE(out.find("vx_qos: Seem emule have update\n"
                     "vx_qos: doChangeServiceChain start...\n"
                     "vx_qos: Service emule disabled !!\n "
                     "vx_qos: Seem ftp have update\n"),
            std::string::npos)
      << out;
  int flushes = 0;
  for (const std::string &c : commands())
    flushes += c.find(" -F ") != std::string::npos;
  EXPECT_EQ(flushes, 2);
  EXPECT_EQ(commands().back(), "iptables -t mangle -A qos_ftp_chain -o eth2.2 -p tcp --sport 2122 -j RETURN");
}
