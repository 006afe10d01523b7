// The user's own rules ("QoSUserRules%d").
#pragma once

// Builds the marking pair and the leaf of every enabled user rule.
int startSetUserRule();
