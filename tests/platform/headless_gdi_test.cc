// The headless GDI that the player paints with: the black fill, the
// statistics line's text (measured and drawn centred on an opaque band, in
// its colours), pixels, and the client area saved as PNG.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/platform/headless_display_helpers.h"

namespace {

TEST(HeadlessGdiTest, BlackFillTextAndPng) {
  HeadlessDisplayConfig c = FullConfig(32);
  HeadlessDisplayInstall(c);
  PlatformWindow* w = HeadlessWindowCreate(10, 10, 200, 40, true);
  const GdiServices* gdi = HeadlessDisplayDriver()->gdi;
  PlatformDC* dc = gdi->GetDC(w);
  ASSERT_NE(dc, nullptr);
  // White first, then BLACKNESS over a part clipped to the client area.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) gdi->SetPixel(dc, x, y, MakeColourRef(255, 255, 255));
  ASSERT_TRUE(gdi->PatBlt(dc, -10, -10, 60, 4096, BLACKNESS));
  EXPECT_EQ(gdi->GetPixel(dc, 49, 39), 0u);
  EXPECT_EQ(gdi->GetPixel(dc, 50, 0), 0xFFFFFFu);
  EXPECT_EQ(gdi->GetPixel(dc, 200, 0), CLR_INVALID);
  // Nothing was drawn outside the client area.
  EXPECT_EQ(HeadlessReadScreen(0, 0, 1, 1)[0], 0u);

  const char text[] = "Fre: 2000, FPS: 100.0";
  DisplaySize size{};
  ASSERT_TRUE(gdi->GetTextExtentPoint32(dc, text, int32_t(strlen(text)), &size));
  EXPECT_GT(size.cx, 60);
  EXPECT_LT(size.cx, 200);
  EXPECT_GT(size.cy, 8);
  DisplaySize shorter{};
  gdi->GetTextExtentPoint32(dc, text, 4, &shorter);
  EXPECT_LT(shorter.cx, size.cx);

  gdi->SetTextColor(dc, MakeColourRef(255, 255, 0));
  gdi->SetBkColor(dc, 0);
  gdi->SetTextAlign(dc, TA_CENTER | TA_TOP);
  const DisplayRect band{0, 10, 200, 10 + size.cy};
  ASSERT_TRUE(gdi->ExtTextOut(dc, 100, 10, ETO_OPAQUE, &band, text, uint32_t(strlen(text))));
  gdi->ReleaseDC(w, dc);
  std::vector<uint32_t> client = HeadlessReadClient(w);
  // Yellow ink (shaded towards black at the glyphs' edges) only inside the
  // centred text's box; the band's ends are black.
  int yellow = 0, min_x = 200, max_x = -1;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) {
      uint32_t p = client[size_t(y) * 200 + x];
      if (y < 10 || y >= 10 + size.cy) continue;
      if (x < 100 - size.cx / 2 - 1 || x > 100 + size.cx / 2 + 1) {
        EXPECT_EQ(p, 0u) << x << "," << y;
      }
      if (p != 0) {
        EXPECT_EQ(p >> 16, (p >> 8) & 0xFF);
        yellow++;
        min_x = std::min(min_x, x);
        max_x = std::max(max_x, x);
      }
      EXPECT_EQ(p & 0xFF, 0u);  // never any blue: yellow on black
    }
  EXPECT_GT(yellow, 50);
  EXPECT_LT(std::abs((min_x + max_x) / 2 - 100), 4);  // centred
  EXPECT_EQ(client[size_t(39) * 200 + 199], 0xFFFFFFu);  // below the band, untouched

  const std::string path = testing::TempDir() + "headless_client.png";
  ASSERT_TRUE(HeadlessSaveClientPng(w, path.c_str()));
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char head[24];
  ASSERT_EQ(fread(head, 1, 24, f), 24u);
  fclose(f);
  remove(path.c_str());
  EXPECT_EQ(memcmp(head, "\x89PNG\r\n\x1a\n", 8), 0);
  EXPECT_EQ((head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19], 200);  // width
  EXPECT_EQ(head[23], 40);                                                          // height
  EXPECT_FALSE(HeadlessSaveClientPng(w, "/nonexistent-dir/x.png"));
}

}  // namespace
