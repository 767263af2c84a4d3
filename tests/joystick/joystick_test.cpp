// Joystick queries against SDL's virtual joysticks, which behave like attached hardware.
#include "joystick/joystick.h"

#include <gtest/gtest.h>

#include "platform/joystick/joystick_ports.h"
#include "runtime/exceptions.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

TEST(Joystick, AxisAndHatFormulas) {
  struct {
    float got, want;
  } cases[] = {
      {JoystickAxisValue(0, 0, 65535), -1.0f},
      {JoystickAxisValue(32767, 0, 65535), -1.0f / 65535},
      {JoystickAxisValue(65535, 0, 65535), 1.0f},
      {JoystickAxisValue(150, 100, 200), -0.5f},  // the divisor is the maximum, not the range
      {JoystickHatValue(0), 0.0f},
      {JoystickHatValue(9000), 0.25f},
      {JoystickHatValue(36000), 1.0f},
      {JoystickHatValue(36001), -1.0f},
      {JoystickHatValue(0xFFFF), -1.0f},
  };
  for (const auto& c : cases)
    EXPECT_FLOAT_EQ(c.got, c.want);
}

TEST(Joystick, PortsAndButtonsOutsideTheTablesAreErrors) {
  InitJoystickModule();
  EXPECT_THROW_TEXT(JoystickX(16), "Joystick port 16 is outside 0..15");
  EXPECT_THROW_TEXT(JoystickName(-1), "Joystick port -1 is outside 0..15");
  EXPECT_THROW_TEXT(JoystickButtonHits(16, 0), "Joystick button 16 is outside 0..15");
  EXPECT_THROW_TEXT(JoystickButtonDown(-1, 0), "Joystick button -1 is outside 0..15");
}

class VirtualJoysticks : public ::testing::Test {
 protected:
  void SetUp() override {
    InitJoystickModule();
    first_ = platform::AttachVirtualJoystick(6, 4, 1);
    second_ = platform::AttachVirtualJoystick(2, 2, 0);
    if (first_ < 0 || second_ < 0) GTEST_SKIP() << "no joystick subsystem on this machine";
  }
  void TearDown() override {
    platform::DetachVirtualJoystick(second_);
    platform::DetachVirtualJoystick(first_);
  }
  int32_t first_ = -1, second_ = -1;
};

TEST_F(VirtualJoysticks, EveryQueryReadsTheDevice) {
  ASSERT_EQ(JoystickEnumerate(), 2);
  EXPECT_NE(JoystickName(0).ToCString(), "");

  platform::SetVirtualJoystickAxis(first_, 0, 32767);
  platform::SetVirtualJoystickAxis(first_, 1, -32768);
  platform::SetVirtualJoystickAxis(first_, 5, 0);
  EXPECT_FLOAT_EQ(JoystickX(0), 1.0f);
  EXPECT_FLOAT_EQ(JoystickY(0), -1.0f);
  EXPECT_FLOAT_EQ(JoystickV(0), 1.0f / 65535);  // centred is 32768 of 0..65535
  EXPECT_EQ(JoystickYaw(0), 0.0f);  // never reported
  EXPECT_EQ(JoystickWheel(0), 0.0f);

  struct {
    uint8_t directions;
    float hat;
  } hats[] = {{0, -1.0f}, {1, 0.0f}, {2, 0.25f}, {1 | 2, 0.125f}, {4, 0.5f}, {8 | 1, 0.875f}};
  for (const auto& h : hats) {
    platform::SetVirtualJoystickHat(first_, 0, h.directions);
    EXPECT_FLOAT_EQ(JoystickHat(0), h.hat) << int(h.directions);
  }
  EXPECT_EQ(JoystickHat(1), 0.0f);  // the second device has no hat
}

TEST_F(VirtualJoysticks, PortsWithoutADeviceReadNothing) {
  platform::SetVirtualJoystickAxis(first_, 0, 32767);
  platform::SetVirtualJoystickButton(first_, 0, true);
  ASSERT_EQ(JoystickEnumerate(), 2);
  ASSERT_FLOAT_EQ(JoystickX(0), 1.0f);
  for (int32_t port = 2; port < kJoystickPorts; ++port) {
    EXPECT_EQ(JoystickName(port).ToCString(), "") << port;
    EXPECT_EQ(JoystickX(port), 0.0f) << port;
    EXPECT_EQ(JoystickButtonDown(0, port), 0) << port;
    EXPECT_EQ(JoystickButtonHits(0, port), 0) << port;
  }
}

TEST_F(VirtualJoysticks, PressesAreCountedOncePerPress) {
  ASSERT_EQ(JoystickEnumerate(), 2);
  JoystickButtonHits(3, 0);  // start from a clean count

  platform::SetVirtualJoystickButton(first_, 3, true);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(JoystickButtonDown(3, 0), 1);  // held: one press
  platform::SetVirtualJoystickButton(first_, 3, false);
  EXPECT_EQ(JoystickButtonDown(3, 0), 0);
  platform::SetVirtualJoystickButton(first_, 3, true);
  EXPECT_EQ(JoystickButtonDown(3, 0), 1);

  EXPECT_EQ(JoystickButtonHits(3, 0), 2);
  EXPECT_EQ(JoystickButtonHits(3, 0), 0);
  EXPECT_EQ(JoystickButtonHits(3, 1), 0);  // counters are per port
  EXPECT_EQ(JoystickButtonDown(2, 0), 0);
}

TEST_F(VirtualJoysticks, PortsStayDenseAfterADeviceGoes) {
  ASSERT_EQ(JoystickEnumerate(), 2);
  platform::SetVirtualJoystickAxis(first_, 0, -32768);
  platform::SetVirtualJoystickAxis(second_, 0, 32767);
  EXPECT_FLOAT_EQ(JoystickX(0), -1.0f);
  EXPECT_FLOAT_EQ(JoystickX(1), 1.0f);

  ASSERT_TRUE(platform::DetachVirtualJoystick(first_));
  first_ = -1;
  // Not enumerated again: port 1 names a device that is gone and keeps its last values.
  EXPECT_FLOAT_EQ(JoystickX(1), 1.0f);

  ASSERT_EQ(JoystickEnumerate(), 1);
  EXPECT_FLOAT_EQ(JoystickX(0), 1.0f);  // the remaining device moved to port 0

  ASSERT_TRUE(platform::DetachVirtualJoystick(0));
  second_ = -1;
  EXPECT_EQ(JoystickEnumerate(), 0);
  EXPECT_EQ(JoystickName(0).ToCString(), "");  // no device
  EXPECT_FLOAT_EQ(JoystickX(0), 1.0f);          // a failed read changes nothing
}

// The module's exit function stops the subsystem, which takes the virtual devices with it; a later
// query starts it again.
TEST_F(VirtualJoysticks, ShutdownStopsTheSubsystemAndALaterQueryRestartsIt) {
  ASSERT_EQ(JoystickEnumerate(), 2);
  platform::JoystickShutdown();
  EXPECT_EQ(JoystickEnumerate(), 0);
  int32_t again = platform::AttachVirtualJoystick(1, 1, 0);
  ASSERT_GE(again, 0);
  EXPECT_EQ(JoystickEnumerate(), 1);
  platform::DetachVirtualJoystick(again);
}

}  // namespace
}  // namespace vxl
