// Walking element chains: nesting, damaged chains, switched-off entries and the dictionary
// view.
#include "store/element_walk.h"

#include <gtest/gtest.h>

#include <string>

#include "store/element_ops.h"
#include "tests/support/template_builder.h"

namespace {

std::string labels(ChainRange r) {
    std::string out;
    for (int e : r) out += std::string(elem_at(e).label) + " ";
    return out;
}

// Object 1: A, D << B, K [ 1 2 ], E << B >> >>, B, and object 2 referred to by R.
struct Nested : ::testing::Test {
    int d = 0, k = 0, inner = 0;
    void SetUp() override {
        tb::begin(3);
        tb::integer(1, "A", 1);
        d = append_elem_subdic_start(1, 0, "D");
        tb::integer(1, "B", 2);
        k = append_elem_array_start(1, 0, "K");
        append_elem_int(1, 0, LABEL_IMMEDIATE, 1);
        append_elem_int(1, 0, LABEL_IMMEDIATE, 2);
        append_elem_array_end(1, 0, "");
        inner = append_elem_subdic_start(1, 0, "E");
        tb::integer(1, "B", 3);
        tb::dict_end(1);
        tb::dict_end(1);
        tb::integer(1, "B", 4);
        tb::ref(1, "R", 2);
        tb::integer(2, "X", 5);
    }
};

TEST_F(Nested, WalksKeepToTheirLevel) {
    int all = 0;
    for (int e : obj_elems(1)) all += e > 0;
    EXPECT_EQ(all, 13);
    EXPECT_EQ(labels(Dict{1, 0}.entries()), "A D B R ");
    EXPECT_EQ(labels(Dict{1, d}.entries()), "B K E ");
    EXPECT_EQ(elem_at(dict_entry(1, "B")).data.int_data, 4);  // not the nested ones
    EXPECT_EQ(elem_at(subdict_entry(d, "B")).data.int_data, 2);
    EXPECT_EQ(elem_at(Dict{1, d}.sub("E").find("B")).data.int_data, 3);
    EXPECT_EQ(subdict_entry(k, "B"), -1);  // an array is no dictionary
    EXPECT_EQ(labels(value_elems(k)), "K _i_m_m_e_d_i_a_t_e_ _i_m_m_e_d_i_a_t_e_  ");
    EXPECT_EQ(elem_at(value_end(d)).next_elem, dict_entry(1, "B"));
    EXPECT_EQ(value_end(dict_entry(1, "A")), dict_entry(1, "A"));
    EXPECT_EQ(chain_last(1), dict_entry(1, "R"));
    EXPECT_EQ(chain_last(0), 0);
}

TEST_F(Nested, SwitchedOffEntriesAreNotFound) {
    switch_off(d);
    for (int e : value_elems(d)) EXPECT_EQ(elem_at(e).f_type, 0) << e;
    EXPECT_EQ(labels(Dict{1, 0}.entries()), "A B R ");
    EXPECT_EQ(dict_entry(1, "D"), -1);
    EXPECT_EQ(elem_at(dict_entry(1, "B")).data.int_data, 4);
    EXPECT_EQ(get_elem(1, "D"), d);  // the design's lookup still sees every element
}

TEST_F(Nested, ReferencesLeadToTheirObject) {
    int r = dict_entry(1, "R");
    EXPECT_EQ(ref_target(r), 2);
    EXPECT_EQ(dict_ref(1, "R"), 2);
    EXPECT_EQ(ref_target(dict_entry(1, "A")), -1);
    EXPECT_EQ((Dict{1, 0}.sub("R").obj), 2);
    EXPECT_FALSE((Dict{1, 0}.sub("A").valid()));
    EXPECT_EQ(Dict{}.find("A"), -1);
    EXPECT_EQ(deref_value(r), -1);  // object 2 is a dictionary, not a direct value
    tb::direct_array(0, "7 0 R");
    elem_at(r).data.obj_no = 0;
    EXPECT_EQ(deref_value(r), get_elem(0, LABEL_IMMEDIATE));
}

TEST_F(Nested, AddingToADictionaryView) {
    Dict sub = Dict{1, d}.add_subdict("New");
    int n = sub.add();
    copy_elem_value(n, elem_at(dict_entry(1, "A")));
    EXPECT_EQ(sub.find("A"), n);
    EXPECT_EQ(labels(Dict{1, d}.entries()), "New B K E ");
    EXPECT_EQ(dict_entry(1, "New"), -1);
}

TEST(DamagedChain, LoopsAndStrayIndexesEndTheWalk) {
    tb::begin(2);
    int a = append_elem_int(1, 0, "A", 1);
    int b = append_elem_subdic_start(1, 0, "B");
    elem_at(b).next_elem = a;  // a loop that never closes B
    int steps = 0;
    for (int e : obj_elems(1)) steps += e > 0;
    EXPECT_LE(steps, g_st.num_elem_strage);
    EXPECT_EQ(dict_entry(1, "Z"), -1);
    EXPECT_EQ(value_end(b), -1);
    EXPECT_EQ(chain_stray(1), 0);
    switch_off(b);  // ends too
    elem_at(b).next_elem = g_st.num_elem_strage + 5;
    EXPECT_EQ(labels(obj_elems(1)), "A B ");
    EXPECT_EQ(chain_stray(1), g_st.num_elem_strage + 5);
    EXPECT_EQ(get_elem(1, "Z"), -1);
}

}  // namespace
