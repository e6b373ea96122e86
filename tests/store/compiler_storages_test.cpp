#include <gtest/gtest.h>

#include "store/storages.h"

namespace {

TEST(CompilerStorages, ReserveXrefGrowsAndCounts) {
    storages_reset(StoreVariant::compiler);
    storages_allocate(64, 16, 16, 1, 1, 16);
    g_st.p_xref_strage[3].first_elem = 7;
    reserve_xref_strage(10);
    EXPECT_EQ(g_st.num_xref_strage, 10);
    EXPECT_EQ(g_st.alloc_xref_strage, 16);
    reserve_xref_strage(100000);
    EXPECT_EQ(g_st.num_xref_strage, 100000);
    EXPECT_GE(g_st.alloc_xref_strage, 100000);
    EXPECT_EQ(g_st.p_xref_strage[3].first_elem, 7);
    EXPECT_EQ(g_st.p_xref_strage[99999].first_elem, 0);
    // A lower count never shrinks what is in use.
    reserve_xref_strage(5);
    EXPECT_EQ(g_st.num_xref_strage, 100000);
    storages_reset();
}

TEST(CompilerStorages, ElementStorageGrowsGeometrically) {
    storages_reset(StoreVariant::compiler);
    storages_allocate(64, 16, 100, 1, 1, 16);
    new_elem_strage();
    EXPECT_EQ(g_st.alloc_elem_strage, 100);
    int grows = 0, last = g_st.alloc_elem_strage;
    for (int i = 0; i < 200000; ++i) {
        new_elem_strage();
        if (g_st.alloc_elem_strage != last) ++grows, last = g_st.alloc_elem_strage;
    }
    EXPECT_EQ(g_st.num_elem_strage, 200001);
    EXPECT_LT(grows, 40);
    // The first growth is at least 128 records; new records are zero.
    EXPECT_EQ(g_st.p_elem_strage[200000].next_elem, 0);
    storages_reset();
}

}  // namespace
