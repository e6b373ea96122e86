#include "generator/page_numbering.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "generator/doc_state.h"
#include "generator/field_widgets.h"
#include "generator/page_contents.h"
#include "generator/pdf_writer.h"
#include "generator/text_fill.h"
#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/template_file.h"

namespace {

// Reused between pages so that renumbering allocates nothing per element.
std::string g_renum_text;

bool is_common(int n);
bool is_reused(int n);

// Shared objects, and objects whose copy on the run's first page stands for them, take the
// first page's number.
int output_number(int n) {
    if (n == PAGES_OBJ_PLACEHOLDER) return g_doc.g_pages_obj_no;
    bool first = is_common(n) || is_reused(n);
    return n + (first ? g_doc.template_base_num : g_doc.base_num);
}

// Parses the decimal object number after a reference marker.
int number_after(const char* p, const char* end, const char** next) {
    int n = 0;
    auto r = std::from_chars(p, end, n);
    *next = r.ptr;
    return r.ec == std::errc() ? n : 0;
}

// An element that renumbering rewrites: a reference, or array text marked as holding some.
bool renumbered(const st_elem& e) {
    return e.f_type == ELEM_TYPE_OBJREF ||
           (e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY && e.data.str.f_renum);
}

// Rewrites an array text: every marked reference gets its output number, the markers go.
void renum_str(st_elem& e) {
    const char* s = elem_bytes(e);
    const char* end = s + e.data.str.len;
    while (s < end && *s == ' ') ++s;
    const char* marker = static_cast<const char*>(std::memchr(s, REF_MARKER, end - s));
    if (!marker && s < end) return;
    std::string& out = g_renum_text;
    out.clear();
    while (marker) {
        out.append(s, marker);
        const char* after;
        int n = number_after(marker + 1, end, &after);
        out.append(" ");
        append_int(out, output_number(n));
        out.append(" 0 R");
        const char* r = static_cast<const char*>(std::memchr(after, 'R', end - after));
        s = r ? r + 1 : end;
        marker = static_cast<const char*>(std::memchr(s, REF_MARKER, end - s));
    }
    out.append(s, end);
    out.append(" ");
    set_elem_str2(&e, STR_ARRAY, out.data(), static_cast<int>(out.size()));
    e.data.str.f_renum = 0;
}
// Gives a reference element, or the references of an array text, their output numbers.
void renumber(st_elem& e) {
    if (e.f_type == ELEM_TYPE_OBJREF)
        e.data.obj_no = output_number(e.data.obj_no);
    else if (renumbered(e))
        renum_str(e);
}
}  // namespace

int page_output_number(int n) {
    return output_number(n);
}

void renum_elem(int elem) {
    renumber(g_st.p_elem_strage[elem]);
}

void renum_elem_str(int elem) {
    renum_str(g_st.p_elem_strage[elem]);
}

namespace {

// Reuse of a template run's objects. The first page of a run writes every object; on a
// later page an object that no operation of the run's first page nor of this page changed,
// and that refers only to such objects and to shared ones, is the same as the first page's
// copy: it is not written again and references to it use the first page's number. Later
// pages also leave out every template object that nothing written refers to (their copies
// of the shared objects, the catalog, its AcroForm and the template's page tree node).
struct RunReuse {
    std::vector<char> first_same;  // per template object: written unchanged on the run's first page
    std::vector<char> reused;      // per object of this page: the first page's copy stands for it
    std::vector<char> keep;        // per object of this page: written
    std::vector<char> annot;       // per object of this page: listed in a page's annotations
    std::vector<char> listed;      // per object of this page: a page of the page list
    std::vector<int> from, to;     // the page's references, one pair each
    std::vector<std::pair<int, int>> renum_elems;  // object, element: what renumbering rewrites
    std::vector<int> start, adj;  // references grouped by object (forward or backward)
    std::vector<int> work;
    std::vector<int> left_out;  // per object of this page: its chain when it is not written
    long image = -1;            // loaded_image_id() of the run's first page
};
RunReuse g_run;

// Runs that the document left for another template, by the identity of their content. A page
// of the same content, loaded again from the kept image, goes on with its earlier run: the
// shared objects and the unchanged objects of that run's first page are in the output already.
struct PastRun {
    long image = -1;
    int base = 0;  // the run's template_base_num
    std::vector<char> first_same;
    RefillRecord refills;
};
std::vector<PastRun> g_past_runs;
constexpr size_t PAST_RUNS = 8;  // as many as template images are kept

bool is_common(int n) {
    return valid_xref(n) && g_st.p_xref_strage[n].f_common == 1;
}

// A page object: flagged by the compiler, or listed in the page tree's Kids. Pages are
// always written anew, each under its own number.
bool is_page(int n) {
    return (valid_xref(n) && g_st.p_xref_strage[n].f_page == 1) ||
           (n >= 0 && static_cast<size_t>(n) < g_run.listed.size() &&
            g_run.listed[static_cast<size_t>(n)]);
}

bool is_reused(int n) {
    return n >= 0 && static_cast<size_t>(n) < g_run.reused.size() &&
           g_run.reused[static_cast<size_t>(n)];
}

// Calls f(n) for every object number that element e refers to.
template <typename F>
void each_ref(const st_elem& e, F&& f) {
    if (e.f_type == ELEM_TYPE_OBJREF) {
        f(e.data.obj_no);
        return;
    }
    if (!renumbered(e)) return;
    const char* s = elem_bytes(e);
    const char* end = s + e.data.str.len;
    const char* m = static_cast<const char*>(std::memchr(s, REF_MARKER, end - s));
    while (m) {
        const char* after;
        f(number_after(m + 1, end, &after));
        const char* r = static_cast<const char*>(std::memchr(after, 'R', end - after));
        if (!r) return;
        m = static_cast<const char*>(std::memchr(r, REF_MARKER, end - r));
    }
}

template <typename F>
void each_elem(int obj, F&& f) {
    for (int e : obj_elems(obj)) f(g_st.p_elem_strage[e]);
}

// Marks every object listed in a page object's annotation array: an annotation belongs to
// one page, so it is never taken for the first page's copy.
void find_annotations(int n) {
    Storages& s = g_st;
    RunReuse& r = g_run;
    r.annot.assign(static_cast<size_t>(n), 0);
    auto mark = [&](int a) {
        if (a >= 0 && a < n) r.annot[static_cast<size_t>(a)] = 1;
    };
    for (int i = 0; i < n; ++i) {
        if (!is_page(i) || s.p_xref_strage[i].first_elem == 0) continue;
        int a = get_elem(i, "Annots");
        if (a == -1) continue;
        const st_elem& el = s.p_elem_strage[a];
        if (el.f_type == ELEM_TYPE_OBJREF && valid_xref(el.data.obj_no)) {
            int arr = el.data.obj_no;
            each_elem(arr, [&](const st_elem& x) { each_ref(x, mark); });
        } else {
            each_ref(el, mark);
        }
    }
}

// The references of the loaded objects as the template content holds them, kept while
// the same content is loaded: an object that no operation changed has them still, so a
// later page takes them from here instead of walking its chain again.
struct LoadedRefs {
    struct Span {
        int elems = -1, targets = 0;  // first entries; elems -1: not read yet
        int elem_count = 0, target_count = 0;
    };
    long image = -1;           // loaded_image_id() they were read from
    std::vector<Span> of;      // per loaded object
    std::vector<int> elems;    // the elements that renumbering rewrites
    std::vector<int> targets;  // the objects they refer to
};
LoadedRefs g_loaded_refs;

// Collects the page's references and groups them by source (forward) or by target.
void collect_refs(int n, int loaded) {
    RunReuse& r = g_run;
    LoadedRefs& c = g_loaded_refs;
    if (c.image != loaded_image_id()) {
        c.image = loaded_image_id();
        c.of.assign(static_cast<size_t>(loaded), {});
        c.elems.clear();
        c.targets.clear();
    }
    r.from.clear();
    r.to.clear();
    r.renum_elems.clear();
    for (int i = 0; i < n; ++i) {
        LoadedRefs::Span* span =
            i < loaded && static_cast<size_t>(i) < c.of.size() && !object_changed(i)
                ? &c.of[static_cast<size_t>(i)]
                : nullptr;
        if (span && span->elems >= 0) {
            for (int k = 0; k < span->elem_count; ++k)
                r.renum_elems.emplace_back(i, c.elems[static_cast<size_t>(span->elems + k)]);
            for (int k = 0; k < span->target_count; ++k) {
                r.from.push_back(i);
                r.to.push_back(c.targets[static_cast<size_t>(span->targets + k)]);
            }
            continue;
        }
        const size_t elems = c.elems.size(), targets = c.targets.size();
        for (int e : obj_elems(i)) {
            const st_elem& el = g_st.p_elem_strage[e];
            if (!renumbered(el)) continue;
            r.renum_elems.emplace_back(i, e);
            if (span) c.elems.push_back(e);
            each_ref(el, [&](int t) {
                r.from.push_back(i);
                r.to.push_back(t);
                if (span) c.targets.push_back(t);
            });
        }
        if (span)
            *span = {static_cast<int>(elems), static_cast<int>(targets),
                     static_cast<int>(c.elems.size() - elems),
                     static_cast<int>(c.targets.size() - targets)};
    }
}

void group_refs(int n, const std::vector<int>& key, const std::vector<int>& val) {
    RunReuse& r = g_run;
    r.start.assign(static_cast<size_t>(n) + 1, 0);
    for (int k : key)
        if (k >= 0 && k < n) ++r.start[static_cast<size_t>(k) + 1];
    for (int i = 0; i < n; ++i)
        r.start[static_cast<size_t>(i) + 1] += r.start[static_cast<size_t>(i)];
    r.adj.resize(key.size());
    r.work.assign(r.start.begin(), r.start.end() - 1);
    for (size_t k = 0; k < key.size(); ++k)
        if (key[k] >= 0 && key[k] < n)
            r.adj[static_cast<size_t>(r.work[static_cast<size_t>(key[k])]++)] = val[k];
}

// The first page of a run: remembers which template objects it wrote unchanged.
void remember_first_page(int n, int loaded) {
    Storages& s = g_st;
    RunReuse& r = g_run;
    find_annotations(n);
    r.first_same.assign(static_cast<size_t>(loaded), 0);
    r.image = loaded_image_id();
    for (int i = 0; i < loaded && i < n; ++i) {
        const st_xref& x = s.p_xref_strage[i];
        r.first_same[static_cast<size_t>(i)] =
            x.first_elem != 0 && !is_page(i) && x.f_common != 1 &&
            !r.annot[static_cast<size_t>(i)] && !object_changed(i);
    }
    r.reused.assign(static_cast<size_t>(n), 0);
}

// A later page of a run: decides which objects the first page's copies stand for, and which
// objects are written at all.
void plan_later_page(int n, int loaded) {
    Storages& s = g_st;
    RunReuse& r = g_run;
    find_annotations(n);
    collect_refs(n, loaded);
    r.reused.assign(static_cast<size_t>(n), 0);
    // A template file that changed on disk during the run was read again: its objects are
    // not the first page's.
    if (r.image != loaded_image_id()) r.first_same.clear();
    for (int i = 0; i < n && i < loaded && static_cast<size_t>(i) < r.first_same.size(); ++i)
        r.reused[static_cast<size_t>(i)] = r.first_same[static_cast<size_t>(i)] &&
                                           !r.annot[static_cast<size_t>(i)] && !is_page(i) &&
                                           s.p_xref_strage[i].first_elem != 0 && !object_changed(i);
    // An object is the first page's only when everything it refers to is: withdraw reuse
    // from the referrers of every object that is written anew, transitively.
    group_refs(n, r.to, r.from);
    std::vector<int>& work = r.work;
    work.clear();
    for (int i = 0; i < n; ++i)
        if (!r.reused[static_cast<size_t>(i)] && !is_common(i)) work.push_back(i);
    for (size_t k = 0; k < r.from.size(); ++k) {
        int t = r.to[k], f = r.from[k];
        bool fixed = t == PAGES_OBJ_PLACEHOLDER || (t >= 0 && t < n);
        if (!fixed && r.reused[static_cast<size_t>(f)]) {
            r.reused[static_cast<size_t>(f)] = 0;
            work.push_back(f);
        }
    }
    while (!work.empty()) {
        int x = work.back();
        work.pop_back();
        for (int k = r.start[static_cast<size_t>(x)]; k < r.start[static_cast<size_t>(x) + 1];
             ++k) {
            int f = r.adj[static_cast<size_t>(k)];
            if (r.reused[static_cast<size_t>(f)]) {
                r.reused[static_cast<size_t>(f)] = 0;
                work.push_back(f);
            }
        }
    }
    // What is written: the page objects, the objects the page's operations added, what the
    // trailer names, and everything they refer to, except the shared objects and the reused
    // ones, whose first-page copies stand for them.
    group_refs(n, r.from, r.to);
    r.keep.assign(static_cast<size_t>(n), 0);
    work.clear();
    auto reach = [&](int t) {
        if (t < 0 || t >= n || r.keep[static_cast<size_t>(t)] || is_common(t) ||
            r.reused[static_cast<size_t>(t)])
            return;
        r.keep[static_cast<size_t>(t)] = 1;
        work.push_back(t);
    };
    for (int i = 0; i < n; ++i)
        if (is_page(i) || i >= loaded) reach(i);
    for (int t = 0; t < s.num_trailer_strage; ++t) {
        const st_elem& e = s.p_trailer_strage[t];
        if (std::strncmp(e.label, "Root", LABEL_SIZE) != 0) each_ref(e, reach);
    }
    while (!work.empty()) {
        int x = work.back();
        work.pop_back();
        for (int k = r.start[static_cast<size_t>(x)]; k < r.start[static_cast<size_t>(x) + 1]; ++k)
            reach(r.adj[static_cast<size_t>(k)]);
    }
}

}  // namespace

void end_template_run() {
    if (g_run.image < 0) return;
    std::erase_if(g_past_runs, [](const PastRun& p) { return p.image == g_run.image; });
    if (g_past_runs.size() >= PAST_RUNS) g_past_runs.erase(g_past_runs.begin());
    g_past_runs.push_back(
        {g_run.image, g_doc.template_base_num, std::move(g_run.first_same), take_refill_record()});
    g_run.first_same.clear();
    g_run.image = -1;
}

bool resume_template_run() {
    const long image = loaded_image_id();
    for (auto it = g_past_runs.begin(); it != g_past_runs.end(); ++it) {
        if (it->image != image) continue;
        g_doc.template_base_num = it->base;
        g_run.image = image;
        g_run.first_same = std::move(it->first_same);
        give_refill_record(std::move(it->refills));
        g_past_runs.erase(it);
        return true;
    }
    return false;
}

void template_runs_reset() {
    g_past_runs.clear();
    g_run.image = -1;
    g_run.first_same.clear();
}

int template_object_at(int out_no) {
    for (int base : {g_doc.base_num, g_doc.template_base_num}) {
        int n = out_no - base;
        if (valid_xref(n) && output_number(n) == out_no) return n;
    }
    return -1;
}

int chain_of(int n) {
    if (!valid_xref(n)) return 0;
    int first = g_st.p_xref_strage[n].first_elem;
    if (first == 0 && static_cast<size_t>(n) < g_run.left_out.size())
        first = g_run.left_out[static_cast<size_t>(n)];
    return first;
}

void renum_obj() {
    Storages& s = g_st;
    int n = s.num_xref_strage;
    int loaded = marks_loaded_objects();
    bool later = g_doc.g_continue_template == 1;
    if (later)
        plan_later_page(n, loaded);
    else
        remember_first_page(n, loaded);
    // Refills left out on the promise of the first page's copy, where the page writes the
    // appearance itself after all.
    const bool refilled = refill_skipped_fields(is_reused);
    // A later page knows its references from the plan, unless refills changed elements since.
    const bool refs_known = later && !refilled;
    g_run.left_out.assign(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        st_xref& x = s.p_xref_strage[i];
        if (later && !g_run.keep[static_cast<size_t>(i)]) {
            g_run.left_out[static_cast<size_t>(i)] = x.first_elem;
            x.first_elem = 0;
            continue;
        }
        if (!refs_known)
            for (int e : obj_elems(i)) renum_elem(e);
    }
    if (refs_known)
        for (auto [obj, e] : g_run.renum_elems)
            if (g_run.keep[static_cast<size_t>(obj)]) renum_elem(e);
    for (int t = 0; t < s.num_trailer_strage; ++t) renumber(s.p_trailer_strage[t]);
}

void get_pagerefs() {
    Storages& s = g_st;
    int root = get_trailer_objref("Root");
    int len = 0;
    const char* kids = page_tree_kids(root, &len);
    if (!kids) throwf("Template without page tree(%s)", g_doc.g_templateFileName);
    const char* end = kids + len;
    const char* m = static_cast<const char*>(std::memchr(kids, REF_MARKER, len));
    g_run.listed.assign(static_cast<size_t>(s.num_xref_strage), 0);
    while (m) {
        const char* after;
        int n = number_after(m + 1, end, &after);
        if (valid_xref(n)) g_run.listed[static_cast<size_t>(n)] = 1;
        if (s.num_pages_strage > MAX_PAGE_INDEX) _throw("Page Resource Full.");
        new_pages_strage();
        s.p_pages_strage[s.cur_pages_strage] = g_doc.base_num + n;
        ++g_doc.g_pages_count;
        const char* r = static_cast<const char*>(std::memchr(after, 'R', end - after));
        if (!r) break;
        m = static_cast<const char*>(std::memchr(r, REF_MARKER, end - r));
    }
    int pages_ref = get_elem(root, "Pages");
    if (!g_doc.f_2nd_page) {
        g_doc.g_root_obj_no = root;
        if (pages_ref > 0 && s.p_elem_strage[pages_ref].f_type == ELEM_TYPE_OBJREF)
            g_doc.g_pages_obj_no = s.p_elem_strage[pages_ref].data.obj_no;
    } else if (pages_ref > 0 && s.p_elem_strage[pages_ref].f_type == ELEM_TYPE_OBJREF) {
        // This catalog is not the document's root; it points at the one page tree.
        set_elem_objref(pages_ref, PAGES_OBJ_PLACEHOLDER);
    }
    for (int i = 0; i < s.num_xref_strage; ++i) {
        if (s.p_xref_strage[i].f_page != 1) continue;
        int p = get_elem(i, "Parent");
        if (p > 0 && s.p_elem_strage[p].f_type == ELEM_TYPE_OBJREF)
            set_elem_objref(p, PAGES_OBJ_PLACEHOLDER);
    }
}

void set_pagerefs() {
    Storages& s = g_st;
    new_xref_strage();
    new_xref_strage();
    append_elem_name(1, 0, "Type", "Pages");
    std::string kids = " ";
    kids.reserve(static_cast<size_t>(s.num_pages_strage) * 12 + 2);
    for (int i = 0; i < s.num_pages_strage; ++i) {
        append_int(kids, s.p_pages_strage[i]);
        kids.append(" 0 R ");
    }
    append_elem_str(1, 0, "Kids", STR_ARRAY, kids.data(), static_cast<int>(kids.size()));
    append_elem_int(1, 0, "Count", g_doc.g_pages_count);
}

int dup_obj(int i) {
    Storages& s = g_st;
    if (!valid_xref(i)) throwf("Object number out of range(%d)", i);
    new_xref_strage();
    int n = s.cur_xref_strage;
    int last = 0;
    // A chain that loops in a damaged template is walked only as far as the storage holds
    // elements; copying that far would double the storage with every copy.
    const int bound = s.num_elem_strage;
    int copied = 0;
    for (int e : obj_elems(i)) {
        if (++copied >= bound) throwf("Broken element chain(%d)", i);
        int c = append_elem(n, last);
        copy_elem_value(c, s.p_elem_strage[e]);  // after append_elem: the storage may have moved
        last = c;
    }
    return n;
}
