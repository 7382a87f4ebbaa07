#include <gtest/gtest.h>

#include <cmath>

#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"

namespace {

// One hit cell at the origin facing the observer at (0, 0, -2).
struct OneCell {
    OneCell()
    {
        map.AllocateGrid(1, 1);
        PixelRecord& c = *map.Cell(0, 0);
        c = PixelRecord{0, 0, 0, 0, 0, -1, 1, 0, 0};
    }
    // Red channel of the one pixel.
    int Red()
    {
        map.Render(canvas, 0, 0, 0);
        return canvas.Row(0)[2];
    }
    CColorMap map;
    CCanvas canvas;
};

TEST(LitRenderer, NoLightsGivesAmbientOnly)
{
    OneCell t;
    t.map.m_lightCount = 0;
    t.map.Render(t.canvas, 0, 0, 0);
    EXPECT_EQ(t.canvas.Status(), "Rendering...");
    EXPECT_EQ(t.canvas.m_bitsPerPixel, 24u);
    const uint8_t* p = t.canvas.Row(0);
    EXPECT_EQ(p[0], 25);
    EXPECT_EQ(p[1], 25);
    EXPECT_EQ(p[2], 25);
}

TEST(LitRenderer, MissesAndBackFacesAreBackground)
{
    OneCell t;
    t.map.m_background = 1;
    t.map.Cell(0, 0)->value = 0.000009f;
    EXPECT_EQ(t.Red(), 255);
    t.map.Cell(0, 0)->value = -0.00002f; // the test is on |value|
    EXPECT_LT(t.Red(), 255);
    t.map.Cell(0, 0)->value = 1;
    t.map.Cell(0, 0)->nz = 1; // facing away, though lit from behind
    t.map.m_lights[0].z = 4;
    EXPECT_EQ(t.Red(), 255);
    // A point at the observer, NaN and infinite points: background, no UB.
    PixelRecord& c = *t.map.Cell(0, 0);
    c = PixelRecord{0, 0, -2, 0, 0, -1, 1, 0, 0};
    EXPECT_EQ(t.Red(), 255);
    c.z = std::nanf("");
    EXPECT_EQ(t.Red(), 255);
    c.z = INFINITY;
    EXPECT_EQ(t.Red(), 255);
}

TEST(LitRenderer, PointLightByHand)
{
    OneCell t;
    t.map.m_lightCount = 1;
    t.map.m_specular = 0;
    t.map.m_ambient = 0;
    Light& l = t.map.m_lights[0];
    l = Light{};
    l.z = -2;
    l.red = l.green = l.blue = 1;
    l.luminescence = 1;
    // f = 1/4, nl = 1: 0.25 x 0.7 x 256 = 44.8.
    EXPECT_EQ(t.Red(), 44);
    l.luminescence = 1000;
    EXPECT_EQ(t.Red(), 255); // clamped, not wrapped
    // In the tangent plane: nothing.
    l.luminescence = 1;
    l.z = 0;
    l.x = 2;
    EXPECT_EQ(t.Red(), 0);
}

TEST(LitRenderer, SpotFadesLinearlyBetweenConeAndEndCone)
{
    OneCell t;
    t.map.m_lightCount = 1;
    t.map.m_lightType[0] = 1;
    t.map.m_specular = 0;
    t.map.m_ambient = 0;
    t.map.m_diffuse = 1;
    Light& l = t.map.m_lights[0];
    l = Light{};
    l.z = -1;
    l.red = l.green = l.blue = 1;
    l.luminescence = 100; // f = 1, nl = 1: 100 x 256 inside the cone
    l.beam = 0;
    auto at = [&](double angle) {
        // Axis tilted by `angle` away from the point.
        l.dirX = std::sin(angle);
        l.dirZ = std::cos(angle);
        return t.Red();
    };
    l.luminescence = 0.5; // 128 inside the cone
    l.cone = 0.2;
    l.endCone = 0.6;
    EXPECT_EQ(at(0.1), 128);
    const double c = std::cos(0.2), e = std::cos(0.6);
    const double s = std::cos(0.4);
    EXPECT_EQ(at(0.4), int(128 * (s - e) / (c - e)));
    EXPECT_EQ(at(0.6), 0);
    EXPECT_EQ(at(0.7), 0);
    // A spot without a direction shines as a point light.
    l.dirX = l.dirZ = 0;
    EXPECT_EQ(t.Red(), 128);
}

TEST(LitRenderer, ObjectLightsTurnWithTheView)
{
    OneCell t;
    t.map.m_lightCount = 1;
    t.map.m_specular = 0;
    Light& l = t.map.m_lights[0];
    l = Light{};
    l.z = -2;
    l.red = l.green = l.blue = 1;
    l.luminescence = 1;
    t.map.m_attachment[0] = 1;
    t.map.Render(t.canvas, 0, 0, 180);
    const int observer = t.canvas.Row(0)[2];
    t.map.m_attachment[0] = 0;
    t.map.Render(t.canvas, 0, 0, 180); // the light turns to z = +2, behind
    EXPECT_GT(observer, t.canvas.Row(0)[2]);
    EXPECT_EQ(t.canvas.Row(0)[2], 25);
}

} // namespace
