#include "bundle_paths.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

TEST(BundlePathsTest, RelativePathsAreTakenFromTheFolder) {
  EXPECT_EQ(ResolveBundlePath(L"C:\\app", L"data\\weft_assets"), L"C:\\app\\data\\weft_assets");
  EXPECT_EQ(ResolveBundlePath(L"C:\\app\\", L"data\\app.so"), L"C:\\app\\data\\app.so");
  EXPECT_EQ(ResolveBundlePath(L"C:\\app", L""), L"C:\\app\\");
}

TEST(BundlePathsTest, AbsolutePathsStay) {
  EXPECT_EQ(ResolveBundlePath(L"C:\\app", L"D:\\bundle\\data"), L"D:\\bundle\\data");
  EXPECT_EQ(ResolveBundlePath(L"C:\\app", L"\\\\server\\share\\data"), L"\\\\server\\share\\data");
  EXPECT_EQ(ResolveBundlePath(L"C:\\app", L"\\data"), L"\\data");
  EXPECT_EQ(ResolveBundlePath(L"", L"data"), L"data");
}

}  // namespace
}  // namespace standin
