// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folders of generated pictures for the gallery's tests, benchmark and screenshots.

#include <QString>
#include <QStringList>
#include <QDateTime>

namespace fk::test {

// Writes a JPEG of w x h (a coloured gradient with a label, varied by `seed`) and sets its
// modification time. False when it could not be written.
bool write_picture(const QString& path, int seed, const QDateTime& mtime, int w = 160, int h = 120);

// A photo-like picture: smooth random blotches from `seed` (different seeds share no structure), w x h,
// saved in `format` ("JPEG", "PNG", ...) at `quality`. False when it could not be written.
bool write_photo(const QString& path, int seed, int w, int h, const char* format = "JPEG", int quality = 85);
// Sets a file's modification time.
bool set_mtime(const QString& path, const QDateTime& mtime);

// Fills root/pictures/<group>/ with `count` pictures spread round-robin over `groups`, named
// "pic<N>.jpg"; picture N is N seconds newer than `oldest`. With `variants` > 0 only that many
// distinct pictures are drawn and the rest are hard links to them (fast and small, for 20,000).
// Returns the relative paths, oldest first.
QStringList make_harvest(const QString& root, const QStringList& groups, int count, const QDateTime& oldest,
                         int variants = 0, int w = 160, int h = 120);

}  // namespace fk::test
