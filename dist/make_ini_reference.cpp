// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time tool: writes fennick.ini(5) from the settings table (or, with --keys, the table's keys).
#include <fstream>
#include <iostream>
#include <string>

#include "store/settings.h"
#include "store/settings_reference.h"

int main(int argc, char** argv) {
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "--keys") {
    for (const fk::SettingDef& d : fk::settings_table()) std::cout << d.key << "\n";
    return 0;
  }
  if (argc != 3) {
    std::cerr << "usage: make_ini_reference VERSION OUTPUT | --keys\n";
    return 2;
  }
  for (const fk::SettingDef& d : fk::settings_table()) {
    if (d.description.empty()) {
      std::cerr << "make_ini_reference: the key " << d.key << " has no description in settings_table()\n";
      return 1;
    }
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << fk::settings_reference_page(argv[1]);
  out.close();
  if (!out) {
    std::cerr << "make_ini_reference: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
