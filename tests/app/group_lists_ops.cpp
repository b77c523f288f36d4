// SPDX-License-Identifier: GPL-3.0-or-later
// The news groups dialog's list operations and the first steps of "Refresh List".
#include <gtest/gtest.h>

#include <random>

#include "app/group_lists.h"
#include "common/fake_clock.h"
#include "common/recording_view.h"
#include "session/session_state.h"

namespace fk {
namespace {

using Names = std::vector<std::string>;

// The classic "^" loop, kept here as the reference the linear version must match.
void classic_move_to_top(Names& list, const std::vector<std::size_t>& ascending) {
  for (std::size_t i = 0; i < ascending.size(); ++i) {
    std::size_t p = ascending[i];
    if (p == i) continue;
    std::string text = list[p];
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(i), text);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(p + 1));
  }
}

std::vector<std::size_t> random_selection(std::mt19937& rng, std::size_t size) {
  std::vector<std::size_t> out;
  std::bernoulli_distribution pick(0.3);
  for (std::size_t i = 0; i < size; ++i)
    if (pick(rng)) out.push_back(i);
  return out;
}

Names random_names(std::mt19937& rng, std::size_t n) {
  static const Names stems = {"alt.bin", "Alt.Bin", "alt.BIN", "rec.pics", "alt.sex", "comp", "", "a", "A"};
  Names out;
  std::uniform_int_distribution<std::size_t> stem(0, stems.size() - 1), tail(0, 3);
  for (std::size_t i = 0; i < n; ++i) out.push_back(stems[stem(rng)] + std::string(tail(rng), 'x'));
  return out;
}

TEST(GroupLists, SubscribeAppendsTheSelectionInListOrderBehindTheSubscribed) {
  GroupLists lists{{"z.first"}, {"alt.a", "alt.b", "alt.c", "alt.d"}};
  // Out of order, repeated and past the end: only 0 and 3 count.
  EXPECT_EQ(subscribe(lists, {3, 0, 3, 99}), 2u);
  EXPECT_EQ(lists.subscribed, (Names{"z.first", "alt.a", "alt.d"}));
  EXPECT_EQ(lists.unsubscribed, (Names{"alt.b", "alt.c"}));
  EXPECT_EQ(group_count_line(lists), "3 of 5 Groups Will Be Scanned for Articles");
  EXPECT_EQ(subscribe(lists, {}), 0u);
  EXPECT_EQ(lists.unsubscribed.size(), 2u);
}

TEST(GroupLists, UnsubscribeSortsInLikeInsertingOneByOne) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    GroupLists lists{random_names(rng, 20), random_names(rng, 30)};
    std::sort(lists.unsubscribed.begin(), lists.unsubscribed.end(), group_name_less);
    auto selected = random_selection(rng, lists.subscribed.size());

    GroupLists expected = lists;
    for (std::size_t p : selected) insert_sorted(expected.unsubscribed, expected.subscribed[p]);
    for (auto it = selected.rbegin(); it != selected.rend(); ++it)
      expected.subscribed.erase(expected.subscribed.begin() + static_cast<std::ptrdiff_t>(*it));

    EXPECT_EQ(unsubscribe(lists, selected), selected.size());
    ASSERT_EQ(lists.unsubscribed, expected.unsubscribed) << "round " << round;
    ASSERT_EQ(lists.subscribed, expected.subscribed) << "round " << round;
  }
}

TEST(GroupLists, MoveToTopFollowsTheCaretRule) {
  GroupLists lists{{"g0", "g1", "g2", "g3", "g4", "g5", "g6"}, {}};
  EXPECT_EQ(move_to_top(lists, {5, 1}), 2u);
  EXPECT_EQ(lists.subscribed, (Names{"g1", "g5", "g0", "g2", "g3", "g4", "g6"}));

  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    GroupLists random{random_names(rng, 25), {}};
    auto selected = random_selection(rng, random.subscribed.size());
    Names expected = random.subscribed;
    classic_move_to_top(expected, selected);
    move_to_top(random, selected);
    ASSERT_EQ(random.subscribed, expected) << "round " << round;
  }
}

TEST(GroupLists, PickDefaultsMatchesLetterCaseAndReportsProgress) {
  GroupLists lists{{"mine"},
                   {"alt.binaries.Pictures", "alt.binaries.pictures", "alt.erotic.art", "alt.SEX",
                    "alt.sex.x", "comp.lang.c"}};
  test::FakeClock clock;  // uptime 0: every entry falls on a whole second
  Names titles;
  EXPECT_EQ(pick_defaults(
                lists, [&](const std::string& t) { titles.push_back(t); }, clock),
            3u);
  EXPECT_EQ(lists.subscribed, (Names{"mine", "alt.binaries.pictures", "alt.erotic.art", "alt.sex.x"}));
  EXPECT_EQ(lists.unsubscribed, (Names{"alt.binaries.Pictures", "alt.SEX", "comp.lang.c"}));
  ASSERT_EQ(titles.size(), 6u);
  EXPECT_EQ(titles.front(), "Scanning group 0 of 6 Groups");
  EXPECT_EQ(titles.back(), "Scanning group 5 of 6 Groups");

  clock.set_uptime_ms(1);
  titles.clear();
  pick_defaults(
      lists, [&](const std::string& t) { titles.push_back(t); }, clock);
  EXPECT_TRUE(titles.empty());
}

TEST(GroupLists, AddingInBatchesMatchesInsertingOneByOne) {
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    GroupLists lists;
    Names expected;
    for (int batch = 0; batch < 4; ++batch) {
      Names names = random_names(rng, 1 + rng() % 12);
      // Every other batch sorts behind the list, as a listing that comes sorted does.
      if (batch % 2) std::sort(names.begin(), names.end(), group_name_less);
      for (const auto& n : names) insert_sorted(expected, n);
      add_unsubscribed(lists, names);
      ASSERT_EQ(lists.unsubscribed, expected) << "round " << round << " batch " << batch;
    }
  }
}

TEST(GroupLists, FilterTakesTextOrAWholeNameWildcardIgnoringCase) {
  const Names names = {"alt.Pictures.cats", "alt.binaries.x", "comp.alt.pics", "a[b].group", "rec.n12",
                       "rec.n123"};
  auto passed = [&](const std::string& text) {
    ShownGroups shown;
    shown.update(names, GroupFilter(text));
    Names out;
    for (std::size_t r = 0; r < shown.size(); ++r) out.push_back(names[shown.position(r)]);
    return out;
  };
  EXPECT_EQ(passed(""), names);
  EXPECT_EQ(passed("  PICT "), (Names{"alt.Pictures.cats"}));
  EXPECT_EQ(passed("alt."), (Names{"alt.Pictures.cats", "alt.binaries.x", "comp.alt.pics"}));
  EXPECT_EQ(passed("[b]"), (Names{"a[b].group"}));  // no star or question mark: taken literally
  EXPECT_EQ(passed("ALT.*"), (Names{"alt.Pictures.cats", "alt.binaries.x"}));
  EXPECT_EQ(passed("*.n1?"), (Names{"rec.n12"}));
  EXPECT_EQ(passed("*pic*"), (Names{"alt.Pictures.cats", "comp.alt.pics"}));
  EXPECT_EQ(passed("*[ab]ina*"), (Names{"alt.binaries.x"}));
  EXPECT_TRUE(passed("nothing.like.it").empty());

  ShownGroups shown;
  shown.update(names, GroupFilter("rec"));
  EXPECT_TRUE(shown.filtered());
  EXPECT_EQ(shown.total(), names.size());
  EXPECT_EQ(shown.positions({1, 0, 7}), (std::vector<std::size_t>{5, 4}));

  // More text typed narrows what was shown; a pattern or other text looks at the whole list again.
  EXPECT_TRUE(GroupFilter("alt.PICT").narrows(GroupFilter("pict")));
  EXPECT_FALSE(GroupFilter("pict").narrows(GroupFilter("pictures")));
  EXPECT_FALSE(GroupFilter("pict*").narrows(GroupFilter("pict")));
  EXPECT_FALSE(GroupFilter("pict").narrows(GroupFilter("")));
  shown.update(names, GroupFilter("alt"));
  shown.narrow(names, GroupFilter("alt.p"));
  EXPECT_EQ(shown.positions({0, 1, 2}), (std::vector<std::size_t>{0, 2}));
}

TEST(GroupLists, PickDefaultsExaminesOnlyTheShownGroups) {
  GroupLists lists{{}, {"alt.pictures.a", "alt.sex.b", "rec.pictures.c", "rec.sex.d", "rec.talk"}};
  test::FakeClock clock;
  Names titles;
  EXPECT_EQ(pick_defaults(
                lists, [&](const std::string& t) { titles.push_back(t); }, clock, GroupFilter("REC.")),
            2u);
  EXPECT_EQ(lists.subscribed, (Names{"rec.pictures.c", "rec.sex.d"}));
  EXPECT_EQ(lists.unsubscribed, (Names{"alt.pictures.a", "alt.sex.b", "rec.talk"}));
  EXPECT_EQ(titles.back(), "Scanning group 2 of 3 Groups");
}

TEST(GroupLists, RefreshIsRefusedSilentlyWhileASessionHoldsTheSocket) {
  SessionState state;
  test::RecordingDialogs dialogs;
  state.news_socket = 5;
  EXPECT_FALSE(confirm_refresh(state, dialogs));
  state.news_socket = -1;
  state.connected = 1;
  EXPECT_FALSE(confirm_refresh(state, dialogs));
  EXPECT_TRUE(dialogs.boxes().empty());

  state.connected = 0;
  dialogs.queue_answer(Answer::Cancel);
  EXPECT_FALSE(confirm_refresh(state, dialogs));
  dialogs.queue_answer(Answer::Ok);
  EXPECT_TRUE(confirm_refresh(state, dialogs));
  auto boxes = dialogs.boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Warning");
  EXPECT_EQ(boxes[0].icon, Icon::Warning);
  EXPECT_EQ(boxes[0].buttons, Buttons::OkCancel);
  EXPECT_EQ(boxes[0].text.rfind("This Will UnSubscribed You To All Groups", 0), 0u);
  EXPECT_NE(boxes[0].text.find("Recommended Only During Intial Setup"), std::string::npos);
}

}  // namespace
}  // namespace fk
