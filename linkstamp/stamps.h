// The link time files: for the WAN port, the LAN side and the wireless LAN,
// "0" while the link is down, otherwise the uptime at which it was recorded up.
#pragma once

constexpr const char *kWanLinkFile = "/var/wan_link";
constexpr const char *kLanLinkFile = "/var/lan_link";
constexpr const char *kWlanLinkFile = "/var/wlan_link";

// RadioOff "0", and nothing else, means the radio is on.
bool radioIsOn(const char *radioOff);

// Replaces /var/wan_link whole: "0" for a link down, the uptime for a link up.
void writeWANLinkTime(int state);

void stampAllLinks(int state);
void refreshWANLinkTime(int state);

int linkstamp_main(int argc, char **argv);
