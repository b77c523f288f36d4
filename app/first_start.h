// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The welcome flow of a first start: the kind of server the new user picks on the setup sheet.

#include <string_view>

#include "store/settings.h"

namespace fk {

enum class ServerKind {
  Classic,  // the table's defaults: plain port 119, one article at a time, whole-group scans
  Modern,   // TLS on 563, fast transfers, incremental scans, multi-part sets
};

inline constexpr const char* kClassicChoiceText = "Classic pacing";
inline constexpr const char* kModernChoiceText =
    "Modern server (TLS on 563, fast transfers, incremental scans, multi-part sets)";
// The modern subject filter admits every common picture type; filter2 goes empty, since its default
// admits only single-part postings and sets would never be selected.
inline constexpr const char* kModernFilter1 = "*.jpg*|*.jpeg*|*.gif*|*.png*|*.webp*";

// The keys of the settings a kind decides.
inline constexpr std::string_view kServerKindKeys[] = {"use_tls",           "port",    "fast_transfers",
                                                      "incremental_scan", "collect_multipart", "filter1",
                                                      "filter2"};

// Sets the connection, transfer, scan and subject settings the kind stands for; the others are left.
void apply_server_kind(Settings& s, ServerKind kind);
// True when every setting the kind decides is as the kind wants it.
bool matches_server_kind(const Settings& s, ServerKind kind);

}  // namespace fk
