#include <gtest/gtest.h>

#include "store/storages.h"

namespace {

TEST(CompilerStorages, AllocateGivesEmptyZeroedStorages) {
    storages_reset(StoreVariant::compiler);
    storages_allocate(64, 65536, 1024, 128, 1024, 5000);
    EXPECT_EQ(g_st.alloc_trailer_strage, 64);
    EXPECT_EQ(g_st.alloc_xref_strage, 65536);
    EXPECT_EQ(g_st.alloc_elem_strage, 1024);
    EXPECT_EQ(g_st.alloc_font_strage, 128);
    EXPECT_EQ(g_st.alloc_field_strage, 1024);
    EXPECT_EQ(g_st.alloc_char_strage, 5000);
    EXPECT_EQ(g_st.num_elem_strage + g_st.num_xref_strage + g_st.num_char_strage, 0);
    EXPECT_EQ(g_st.variant, StoreVariant::compiler);
    EXPECT_EQ(g_st.p_xref_strage[65535].first_elem, 0);
    EXPECT_EQ(g_st.p_char_strage[4999], 0);
}

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

}  // namespace
