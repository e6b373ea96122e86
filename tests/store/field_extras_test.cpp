// Field extras: the section after the character data, its absence in older templates and
// the name lookups built on it.
#include "store/field_extras.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "store/storages.h"
#include "store/template_file.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tb::load_error;
using tt::TempDir;

TEST(FieldExtras, SectionRoundTripAndOlderReader) {
    TempDir d;
    tb::PageSpec p;
    p.fields.push_back({"Name"});
    p.fields.push_back({"Tick"});
    tb::simple_template(d.file("old.tpl"), {p});
    const std::string old_bytes = tt::read_file(d.file("old.tpl"));

    // Same template with extras: a long non-ASCII full name and a check box.
    storages_reset();
    ASSERT_EQ(load_error(d.file("old.tpl")), "");
    EXPECT_EQ(field_extra(0), nullptr);
    EXPECT_TRUE(field_is_text(1));
    const std::string full = "formulaire.section_principale.Prénom_du_déclarant";
    field_extra_set_name(0, full.data(), static_cast<int>(full.size()));
    field_extra_mut(0)->type = FIELD_TYPE_TEXT;
    field_extra_mut(0)->max_len = 12;
    field_extra_mut(1)->type = FIELD_TYPE_CHECKBOX;
    write_template(d.file("new.tpl").c_str());
    const std::string new_bytes = tt::read_file(d.file("new.tpl"));
    // What an older reader reads is unchanged; the section follows it.
    ASSERT_GT(new_bytes.size(), old_bytes.size());
    EXPECT_EQ(new_bytes.substr(0, old_bytes.size()), old_bytes);
    EXPECT_EQ(new_bytes.substr(old_bytes.size(), 4), "FEXT");

    storages_reset();
    ASSERT_EQ(load_error(d.file("new.tpl")), "");
    ASSERT_NE(field_extra(0), nullptr);
    EXPECT_EQ(field_extra(0)->max_len, 12);
    EXPECT_EQ(field_type(1), FIELD_TYPE_CHECKBOX);
    EXPECT_FALSE(field_is_text(1));
    EXPECT_EQ(find_field(full.c_str()), 0);
    EXPECT_EQ(find_field("Name"), 0);  // the fixed record's name still addresses it
    EXPECT_EQ(find_field("Tick"), 1);
    EXPECT_EQ(find_field("formulaire"), -1);
    EXPECT_EQ(find_field((full + "x").c_str()), -1);

    // Loading an older template afterwards leaves nothing of the extras.
    ASSERT_EQ(load_error(d.file("old.tpl")), "");
    EXPECT_EQ(field_extra(0), nullptr);
    EXPECT_EQ(find_field(full.c_str()), -1);

    // A record added to a template with extras gets one too.
    ASSERT_EQ(load_error(d.file("new.tpl")), "");
    new_field_strage();
    ASSERT_NE(field_extra(g_st.cur_field_strage), nullptr);
    EXPECT_EQ(field_extra(g_st.cur_field_strage)->name_pos, -1);

    // Damaged sections fail; an unknown section is left alone.
    const std::string broken = "Broken template file(" + d.file("x.tpl") + ")";
    for (size_t n = old_bytes.size() + 5; n < new_bytes.size(); n += 7) {
        tt::write_file(d.file("x.tpl"), new_bytes.substr(0, n));
        EXPECT_EQ(load_error(d.file("x.tpl")), broken) << n;
    }
    std::string bad = new_bytes;
    int32_t far = 1 << 20;
    std::memcpy(&bad[old_bytes.size() + 16], &far, 4);  // first record's name_pos
    tt::write_file(d.file("x.tpl"), bad);
    EXPECT_EQ(load_error(d.file("x.tpl")), broken);
    tt::write_file(d.file("x.tpl"), old_bytes + "ZZZZ0000");
    EXPECT_EQ(load_error(d.file("x.tpl")), "");
    EXPECT_EQ(field_extra(0), nullptr);
}

TEST(FieldExtras, AFullNameWinsOverOtherFieldsPartialNames) {
    // "person.name" and a top-level "name" share their partial name; "person.phone.home" is
    // the only field whose partial name is "home".
    tb::PageSpec p;
    p.fields = {{"name"}, {"name"}, {"home"}};
    storages_reset(StoreVariant::generator);
    tb::simple_template_bytes({p});
    for (auto [i, full] : {std::pair{0, "person.name"}, {1, "name"}, {2, "person.phone.home"}})
        field_extra_set_name(i, full, static_cast<int>(std::strlen(full)));
    field_names_changed();
    EXPECT_EQ(fields_named("name"), std::vector<int>{1});
    EXPECT_FALSE(field_name_matches(0, "name"));
    EXPECT_EQ(fields_named("person.name"), std::vector<int>{0});
    EXPECT_EQ(find_field("home"), 2);
}
