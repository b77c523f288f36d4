// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/first_start.h"

#include <string>

namespace fk {

namespace {

// The settings a kind decides, as the kind wants them.
Settings wanted(ServerKind kind) {
  Settings s;  // the table's defaults
  if (kind == ServerKind::Modern) {
    s.use_tls = Settings::kImplicitTls;
    s.port = 563;
    s.fast_transfers = 1;
    s.incremental_scan = 1;
    s.collect_multipart = 1;
    s.filter1 = kModernFilter1;
    s.filter2.clear();
  }
  return s;
}

}  // namespace

void apply_server_kind(Settings& s, ServerKind kind) {
  const Settings w = wanted(kind);
  s.use_tls = w.use_tls;
  s.port = w.port;
  s.fast_transfers = w.fast_transfers;
  s.incremental_scan = w.incremental_scan;
  s.collect_multipart = w.collect_multipart;
  s.filter1 = w.filter1;
  s.filter2 = w.filter2;
}

bool matches_server_kind(const Settings& s, ServerKind kind) {
  Settings copy = s;
  apply_server_kind(copy, kind);
  return copy.use_tls == s.use_tls && copy.port == s.port && copy.fast_transfers == s.fast_transfers &&
         copy.incremental_scan == s.incremental_scan && copy.collect_multipart == s.collect_multipart &&
         copy.filter1 == s.filter1 && copy.filter2 == s.filter2;
}

}  // namespace fk
