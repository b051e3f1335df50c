#include "scene/item_transform.h"

#include <gtest/gtest.h>

namespace {

using scene::GripPose;
using scene::ItemTransform;

GripPose PoseOf(const D3DXMATRIX& m, float x, float y, float z) {
  GripPose p;
  for (unsigned r = 0; r < 4; ++r)
    for (unsigned c = 0; c < 4; ++c) p.matrix[r * 4 + c] = m(r, c);
  p.offset[0] = x;
  p.offset[1] = y;
  p.offset[2] = z;
  return p;
}

void ExpectRow(const D3DXMATRIX& m, unsigned row, float x, float y, float z) {
  EXPECT_NEAR(m(row, 0), x, 1e-5f) << "row " << row;
  EXPECT_NEAR(m(row, 1), y, 1e-5f) << "row " << row;
  EXPECT_NEAR(m(row, 2), z, 1e-5f) << "row " << row;
}

// Bone: a quarter turn about Z (x -> y) then a move to (10, 0, 0); grip: a quarter turn about X
// (y -> z). The two turns do not commute, so each product's order shows in the result.
struct Fixture {
  D3DXMATRIX bone, grip, rot, world;
  Fixture() {
    D3DXMATRIX t;
    D3DXMatrixRotationZ(&bone, D3DX_PI / 2);
    D3DXMatrixTranslation(&t, 10, 0, 0);
    bone = bone * t;
    D3DXMatrixRotationX(&grip, D3DX_PI / 2);
    D3DXMatrixIdentity(&rot);
    D3DXMatrixTranslation(&world, 100, 0, 0);
  }
};

TEST(ItemTransform, ProductsKeepTheirOrders) {
  Fixture f;
  const scene::ItemPlacement p = ItemTransform(f.bone, PoseOf(f.grip, 1, 2, 3), f.rot, f.world);
  // rotation = bone * grip: x goes to y under the bone, then to z under the grip (the swapped
  // product would give y).
  ExpectRow(p.rotation, 0, 0, 0, 1);
  ExpectRow(p.rotation, 1, -1, 0, 0);
  ExpectRow(p.rotation, 2, 0, -1, 0);
  // The bone's translation is dropped: the item gets its place from the position alone.
  ExpectRow(p.rotation, 3, 0, 0, 0);
  EXPECT_FLOAT_EQ(p.rotation(3, 3), 1.0f);
  // position = offset * grip * bone * world: (1,2,3) -> (1,-3,2) -> (3,1,2)+(10,0,0) -> +100 in x.
  // (grip and bone swapped would land at (108, -3, 1).)
  EXPECT_NEAR(p.position.x, 113, 1e-4f);
  EXPECT_NEAR(p.position.y, 1, 1e-4f);
  EXPECT_NEAR(p.position.z, 2, 1e-4f);
}

TEST(ItemTransform, UnitRotationAndWorldComeLast) {
  Fixture f;
  D3DXMATRIX turn, move;
  D3DXMatrixRotationY(&turn, D3DX_PI / 2);  // x -> -z, z -> x
  D3DXMatrixTranslation(&move, 100, 0, 0);
  const scene::ItemPlacement p = ItemTransform(f.bone, PoseOf(f.grip, 1, 2, 3), turn, turn * move);
  ExpectRow(p.rotation, 0, 1, 0, 0);  // x -> z under bone * grip, then z -> x under the unit
  ExpectRow(p.rotation, 3, 0, 0, 0);
  // (13, 1, 2) in the unit's model space, turned (x -> -z, z -> x) and moved.
  EXPECT_NEAR(p.position.x, 102, 1e-4f);
  EXPECT_NEAR(p.position.y, 1, 1e-4f);
  EXPECT_NEAR(p.position.z, -13, 1e-4f);
}

}  // namespace
