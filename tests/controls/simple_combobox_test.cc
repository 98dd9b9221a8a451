// The combobox's built-in list: what the model tells its observer, its answers at the edges, and
// a real combobox following it.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/simple_combobox.h"

namespace {

// Writes down every notification, in order.
class RecordingObserver : public tavio_ui::ListboxModelObserver {
 public:
  void OnModelChanged() override { calls.push_back("changed"); }
  void OnItemsChanged(int start, int count) override { Note("items changed", start, count); }
  void OnItemsAdded(int start, int count) override { Note("added", start, count); }
  void OnItemsRemoved(int start, int count) override { Note("removed", start, count); }

  std::vector<std::string> calls;

 private:
  void Note(const char* what, int start, int count) {
    calls.push_back(std::string(what) + " " + std::to_string(start) + "," + std::to_string(count));
  }
};

using Strings = std::vector<std::string>;

TEST(SimpleComboboxModel, TellsItsObserverOfAppendsAndRemovals) {
  SimpleComboboxModel model;
  model.AddItem(L"silent");  // no observer yet: stored, nobody told
  RecordingObserver observer;
  model.SetObserver(&observer);
  model.AddItem(L"MP3");
  model.AddItem(L"WAV");
  EXPECT_EQ(observer.calls, (Strings{"added 1,1", "added 2,1"}));
  EXPECT_EQ(model.GetCount(), 3);

  EXPECT_TRUE(model.RemoveItem(0));
  EXPECT_EQ(model.GetItem(0), L"MP3");  // later entries moved up
  EXPECT_FALSE(model.RemoveItem(-1));
  EXPECT_FALSE(model.RemoveItem(2));
  EXPECT_EQ(observer.calls, (Strings{"added 1,1", "added 2,1", "removed 0,1"}));
  EXPECT_EQ(model.GetCount(), 2);

  model.SetObserver(nullptr);
  EXPECT_TRUE(model.RemoveItem(1));
  EXPECT_EQ(observer.calls.size(), 3u);
}

TEST(SimpleComboboxModel, AnswersAtTheEdges) {
  SimpleComboboxModel model;
  EXPECT_EQ(model.IndexOf(L""), -1);
  EXPECT_EQ(model.GetItem(0), L"");
  for (const wchar_t* item : {L"MP3", L"WAV", L"MP3"}) model.AddItem(item);
  EXPECT_EQ(model.GetItem(-1), L"");
  EXPECT_EQ(model.GetItem(3), L"");
  EXPECT_EQ(model.GetItem(2), L"MP3");
  EXPECT_EQ(model.IndexOf(L"MP3"), 0);
  EXPECT_EQ(model.IndexOf(L"WAV"), 1);
  EXPECT_EQ(model.IndexOf(L"mp3"), -1);
}

TEST(SimpleCombobox, TheComboboxFollowsItsList) {
  SimpleCombobox box;
  std::vector<int> picked;
  box.SetItemSelectedEventHandler([&](tavio_ui::Combobox* sender, int index) {
    EXPECT_EQ(sender, &box);
    picked.push_back(index);
  });
  for (const wchar_t* item : {L"原始", L"0.5倍", L"1.0倍", L"1.5倍", L"2.0倍"}) box.AddItem(item);
  EXPECT_EQ(box.GetModel()->GetCount(), 5);
  EXPECT_EQ(static_cast<tavio_ui::ListboxModel*>(box.GetModel()),
            static_cast<tavio_ui::Combobox&>(box).GetModel());

  box.SetText(L"1.5倍");
  EXPECT_EQ(box.GetSelected(), 3);
  EXPECT_EQ(box.GetText(), L"1.5倍");
  EXPECT_EQ(picked, std::vector<int>{3});

  // Removing an entry before the chosen one keeps the same entry chosen.
  EXPECT_TRUE(box.GetModel()->RemoveItem(0));
  EXPECT_EQ(box.GetText(), L"1.5倍");
  EXPECT_EQ(box.GetSelected(), 2);
}

}  // namespace
