// Stand-in for the host's annotation renderer.  The "text" of an entity is a
// script of steps set by tests; rendering replays it through the table's
// callbacks in order, and a text step goes through the table's stroke-text
// slot, which hands it back to StrokeTextString for the strokes set for that
// string.
#include <nimber/render.h>
#include <nimber/testing.h>
#include <stend/error.h>
#include <stend/system.h>

#include <cstring>
#include <map>
#include <new>

namespace {

using nimber_test::Step;

const int kRenderFailCode = 7300001;

struct State {
    std::map<tag_t, std::vector<Step>> scripts;
    std::map<std::string, std::vector<Step>> text_strokes;
    std::vector<std::string> last_slots;
    int tables = 0;
    std::vector<std::string> renders;
    std::vector<int> statuses;
    std::vector<std::string> stroked;
    bool fonts_ok = true;
    Korvo::ANN_render_table* current = nullptr;  // table being rendered
    int depth = 0;
};

State& state() {
    static State* s = new State;
    return *s;
}

// The font data handed to the stroke-text slot: its address is what must come back.
const int kFont = 0;

// The class stays registered for the life of the process; its registrant is
// kept here.
Korvo::OM::ClassRegistrant* g_registrant = nullptr;

Korvo::OM::ClassId render_table_class() {
    if (!g_registrant) {
        static const Korvo::OM::AttributeDescriptor none[] = {{nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr}};
        void* memory = Korvo::Memory::CppMemory::allocate(sizeof(Korvo::OM::ClassRegistrant));
        try {
            g_registrant = new (memory) Korvo::OM::ClassRegistrant(
                "Korvo::ANN_render_table", nullptr, nullptr, Korvo::OM::INDEX_BIT, 0, "Korvo::OM::MethodicObject",
                none, Korvo::ANN_render_table::create, Korvo::ANN_render_table::size);
        } catch (...) {
            Korvo::Memory::CppMemory::free(memory);
            throw;
        }
    }
    return g_registrant->GetClassId();
}

TC_render_status_t answered(TC_render_status_t status) {
    state().statuses.push_back(status);
    return status;
}

// Replays the steps through the table; the first status other than 0 and
// DECLINED ends the replay and is answered.
TC_render_status_t replay(Korvo::ANN_render_table* table, const std::vector<Step>& steps) {
    const ANN_render_callbacks_s& c = table->callbacks;
    void* client = table->client_data;
    for (const Step& s : steps) {
        TC_render_status_t status = TC_RENDER_OK;
        const double* v = s.values;
        switch (s.kind) {
        case Step::Start: if (c.start_stroke) status = answered(c.start_stroke(client, v)); break;
        case Step::DrawTo: if (c.draw_to) status = answered(c.draw_to(client, v)); break;
        case Step::Arc: if (c.draw_arc) status = answered(c.draw_arc(client, v, v[2], v[3], v[4])); break;
        case Step::ThickArc:
            if (c.draw_thick_arc) status = answered(c.draw_thick_arc(client, v, v[2], v[3], v[4]));
            break;
        case Step::DashedArc:
            if (c.draw_dashed_arc) status = answered(c.draw_dashed_arc(client, v, v[2], v[3], v[4]));
            break;
        case Step::Text:
            if (c.stroke_text) status = answered(c.stroke_text(client, s.text.c_str(), &kFont));
            break;
        case Step::Push: if (c.push_matrix) status = answered(c.push_matrix(client, v)); break;
        case Step::Pop: if (c.pop_matrix) status = answered(c.pop_matrix(client)); break;
        case Step::Group: if (c.new_group) status = answered(c.new_group(client)); break;
        case Step::Fill: {
            const double square[8] = {0, 0, 1, 0, 1, 1, 0, 1};
            if (c.fill_area) status = answered(c.fill_area(client, 4, square));
            break;
        }
        case Step::Fail: ERROR_raise(__FILE__, __LINE__, kRenderFailCode, "%s", s.text.c_str());
        }
        if (status != TC_RENDER_OK && status != TC_RENDER_DECLINED) return status;
    }
    return TC_RENDER_OK;
}

Step make(Step::Kind kind, std::initializer_list<double> values) {
    Step s{kind, {}, std::string()};
    int i = 0;
    for (double v : values) s.values[i++] = v;
    return s;
}

}  // namespace

namespace Korvo {

OM::Object* ANN_render_table::create(void* memory, int i, void* data) {
    if (!memory) return nullptr;
    ANN_render_table* table = new (memory) ANN_render_table;
    OM::Object::CustomConstructObjectFunction(table, i, data);
    return table;
}

std::size_t ANN_render_table::size() { return sizeof(ANN_render_table); }

ANN_render_table* ANN_render_tableFactory::object(tag_t entity, const ANN_render_callbacks_s& callbacks,
                                                  void* client_data) {
    if (entity == 0) ERROR_raise(__FILE__, __LINE__, kRenderFailCode, "render table for no entity");
    auto* table = static_cast<ANN_render_table*>(OM_create_object(render_table_class()));
    table->entity = entity;
    table->callbacks = callbacks;
    table->client_data = client_data;
    State& g = state();
    ++g.tables;
    g.last_slots.clear();
    const ANN_render_callbacks_s& c = callbacks;
    const std::pair<const char*, bool> slots[] = {
        {"start_stroke", c.start_stroke != nullptr},     {"draw_to", c.draw_to != nullptr},
        {"draw_arc", c.draw_arc != nullptr},             {"draw_thick_arc", c.draw_thick_arc != nullptr},
        {"draw_dashed_arc", c.draw_dashed_arc != nullptr}, {"stroke_text", c.stroke_text != nullptr},
        {"push_matrix", c.push_matrix != nullptr},       {"pop_matrix", c.pop_matrix != nullptr},
        {"new_group", c.new_group != nullptr},           {"fill_area", c.fill_area != nullptr},
        {"set_colour", c.set_colour != nullptr},         {"set_line_width", c.set_line_width != nullptr},
        {"draw_polyline", c.draw_polyline != nullptr},   {"draw_marker", c.draw_marker != nullptr},
    };
    for (const auto& slot : slots)
        if (slot.second) g.last_slots.push_back(slot.first);
    return table;
}

namespace Annot {
namespace Display {
TC_render_status_t StrokeTextString(const char* text, const void* font) {
    State& g = state();
    if (!g.current) ERROR_raise(__FILE__, __LINE__, kRenderFailCode, "StrokeTextString outside a rendering");
    g.stroked.push_back(text ? text : "");
    if (font != &kFont) g.fonts_ok = false;
    auto it = g.text_strokes.find(text ? text : "");
    if (it == g.text_strokes.end()) return TC_RENDER_OK;
    if (g.depth > 8) ERROR_raise(__FILE__, __LINE__, kRenderFailCode, "text strokes nested too deep");
    ++g.depth;
    struct Leave {
        ~Leave() { --state().depth; }
    } leave;
    return replay(g.current, it->second);
}
}  // namespace Display
}  // namespace Annot

}  // namespace Korvo

TC_render_status_t ANN_DISP_render_text_for_object(Korvo::ANN_render_table* table, int reserved1, int reserved2) {
    // Ends the process on a deleted table or one of another class.
    if (!table || Korvo::OM::AskObjectClass(table) != render_table_class())
        ERROR_raise(__FILE__, __LINE__, kRenderFailCode, "not a render table");
    State& g = state();
    g.renders.push_back("render " + std::to_string(table->entity) + " " + std::to_string(reserved1) + " " +
                        std::to_string(reserved2));
    if (g.current) ERROR_raise(__FILE__, __LINE__, kRenderFailCode, "rendering already in progress");
    auto it = g.scripts.find(table->entity);
    if (it == g.scripts.end()) return TC_RENDER_OK;
    const std::vector<Step> steps = it->second;
    g.current = table;
    struct Leave {
        ~Leave() { state().current = nullptr; }
    } leave;
    return replay(table, steps);
}

namespace nimber_test {

Step start(double x, double y) { return make(Step::Start, {x, y}); }
Step draw_to(double x, double y) { return make(Step::DrawTo, {x, y}); }
Step arc(double cx, double cy, double radius, double start_angle, double end_angle, Step::Kind kind) {
    return make(kind, {cx, cy, radius, start_angle, end_angle});
}
Step text(const std::string& string) {
    Step s = make(Step::Text, {});
    s.text = string;
    return s;
}
Step push(const double matrix[9]) {
    Step s = make(Step::Push, {});
    std::memcpy(s.values, matrix, sizeof s.values);
    return s;
}
Step pop() { return make(Step::Pop, {}); }
Step group() { return make(Step::Group, {}); }
Step fill() { return make(Step::Fill, {}); }
Step fail(const std::string& why) {
    Step s = make(Step::Fail, {});
    s.text = why;
    return s;
}

void set_script(tag_t entity, const std::vector<Step>& steps) { state().scripts[entity] = steps; }
void set_text_strokes(const std::string& string, const std::vector<Step>& steps) {
    state().text_strokes[string] = steps;
}
const std::vector<std::string>& last_table_slots() { return state().last_slots; }
int tables_made() { return state().tables; }
const std::vector<std::string>& render_calls() { return state().renders; }
const std::vector<int>& statuses() { return state().statuses; }
const std::vector<std::string>& stroked_texts() { return state().stroked; }
bool fonts_passed_back() { return state().fonts_ok; }

void reset() {
    State& g = state();
    g.scripts.clear();
    g.text_strokes.clear();
    g.last_slots.clear();
    g.tables = 0;
    g.renders.clear();
    g.statuses.clear();
    g.stroked.clear();
    g.fonts_ok = true;
}

}  // namespace nimber_test
