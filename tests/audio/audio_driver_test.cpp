// The driver registry, the current driver and the "Null" back end.
#include "audio/audio_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vxl {
namespace {

// A driver that counts its start-ups and shut-downs and can be told to fail.
class TCountingDriver : public TAudioDriver {
 public:
  VXL_CLASS(TCountingDriver, TAudioDriver)
  explicit TCountingDriver(String name = "", bool starts = true) : name_(name), starts_(starts) {}
  String Name() override { return name_; }
  int32_t Startup() override {
    ++startups;
    return starts_ ? 1 : 0;
  }
  int32_t Shutdown() override {
    ++shutdowns;
    return 0;
  }
  int startups = 0, shutdowns = 0;

 private:
  String name_;
  bool starts_;
};
VXL_DEFINE_CLASS(TCountingDriver)

std::vector<std::string> Names() {
  std::vector<std::string> out;
  Array<String> names = ListAudioDrivers();
  for (int32_t i = 0; i < names.Length(); ++i)
    out.push_back(names[i].ToCString());
  return out;
}

// One test: the registry is process-wide and drivers are never removed.
TEST(AudioDriver, RegistrySelectionAndTheNullBackEnd) {
  InitAudioModule();
  EXPECT_EQ(Names(), std::vector<std::string>{"Null"});

  // No "Tonmix" here: the default selection falls back to "Null", and everything stays silent.
  Ref<TAudioDriver> current = CurrentAudioDriver();
  EXPECT_EQ(current->Name(), String("Null"));
  uint8_t pcm[4] = {};
  Ref<TSound> sound =
      LoadAudioSound(Ref<Object>(NewStaticAudioSample(pcm, 2, 8000, SAMPLE_MONO16LE)), 0);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->Class().Name(), "TSound");
  EXPECT_FALSE(LoadAudioSound(String("/no/such/file.wav"), 0));
  Ref<TChannel> ch = StartSound(sound, NewChannel());
  ASSERT_TRUE(ch);
  for (int32_t r : {HaltChannel(ch), HoldChannel(ch), ContinueChannel(ch),
                    ChangeChannelVolume(ch, 1), ChangeChannelPan(ch, 1), ChangeChannelDepth(ch, 1),
                    ChangeChannelRate(ch, 2), IsChannelPlaying(ch)}) {
    EXPECT_EQ(r, 0);
  }
  EXPECT_TRUE(PrimeSound(sound, nullptr));

  auto tonmix = Ref<TCountingDriver>::Adopt(new TCountingDriver("Tonmix"));
  auto broken = Ref<TCountingDriver>::Adopt(new TCountingDriver("Broken", false));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Broken", "Tonmix", "Null"}));
  EXPECT_EQ(HasAudioDriver("NULL"), 1);
  EXPECT_EQ(HasAudioDriver("tonMIX"), 1);
  EXPECT_EQ(HasAudioDriver("Tonmix "), 0);

  EXPECT_EQ(SelectAudioDriver("tonmix"), 1);
  EXPECT_EQ(CurrentAudioDriver(), tonmix);
  EXPECT_EQ(SelectAudioDriver("TONMIX"), 1);  // shut down and started again
  EXPECT_EQ(tonmix->startups, 2);
  EXPECT_EQ(tonmix->shutdowns, 1);

  EXPECT_EQ(SelectAudioDriver("Broken"), 0);  // its start-up fails: "Null" stays
  EXPECT_EQ(broken->startups, 1);
  EXPECT_EQ(tonmix->shutdowns, 2);
  EXPECT_EQ(CurrentAudioDriver()->Name(), String("Null"));
  EXPECT_EQ(SelectAudioDriver("Nobody"), 0);
  EXPECT_EQ(CurrentAudioDriver()->Name(), String("Null"));

  SelectAudioDriver("Tonmix");
  ReleaseAudioDriver();  // what runs at exit
  EXPECT_EQ(tonmix->shutdowns, 3);
  EXPECT_EQ(CurrentAudioDriver(), tonmix);  // nothing selected: the default again
  ReleaseAudioDriver();

  for (int i = 0; i < 110; ++i) {
    Ref<TCountingDriver>::Adopt(new TCountingDriver(String::FromInt(i)));
  }
  std::vector<std::string> names = Names();
  ASSERT_EQ(names.size(), 100u);
  EXPECT_EQ(names.front(), "109");
  EXPECT_EQ(names.back(), "10");
}

}  // namespace
}  // namespace vxl
