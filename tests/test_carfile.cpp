/* Car files: the shipped preset, rounding, partial files, refusals. */
#include <cstring>
#include "support.h"

/* Reads path (text written there first, unless null) into *c: "", or why it was refused. */
static std::string read_car(const std::string &path, const char *text, car *c)
{
    char e[512] = "";
    text ? write_file(path, text) : void();
    return read_car_file(path.c_str(), c, e, sizeof e) == 0 ? "" : e[0] ? e : "refused";
}

/* Catches a shipped or empty file that is not the preset to the bit. */
TEST(CarFile, ShippedAndEmptyFilesAreTheCompiledInCar)
{
    temp_dir d;
    car shipped, empty;
    ASSERT_EQ(read_car(CARAVELT_DATA_DIR "/cars/kvt.toml", nullptr, &shipped) + read_car(d / "e.toml", "", &empty), "");
    EXPECT_EQ(memcmp(&shipped, &KVT, sizeof shipped), 0);
    EXPECT_EQ(memcmp(&empty, &KVT, sizeof empty), 0);
}

/* Catches a detour through double that rounds twice, however the number is written. */
TEST(CarFile, NumbersRoundOnceToTheStoredType)
{
    struct { const char *text; float want; } cases[] = {
        {"G = 0.94", 0.94f}, {"G = 9_4e-2", 0.94f}, {"G = +0.94", 0.94f},
        /* just above halfway to the next float; as a double, halfway: down to 1 */
        {"G = 1.00000005960464477539063", std::bit_cast<float>(0x3f800001u)},
        {"G = 0x8", 8.0f}, {"GearMax = 7\nG = 1e-40", 1e-40f},
    };
    temp_dir d;
    car c;
    for (const auto &k : cases) {
        ASSERT_EQ(read_car(d / "c.toml", k.text, &c), "") << k.text;
        EXPECT_BITS(c.G, k.want) << k.text;
        EXPECT_EQ(c.GearMax, strstr(k.text, "GearMax") ? 7 : 5) << k.text;
    }
}

/* Catches a field read into another's place or not read at all. */
TEST(CarFile, PartialFileChangesExactlyTheFieldsItNames)
{
    struct field_span { const char *name; size_t at, size; bool whole; };
#define SPAN_F(type, name) {#name, offsetof(car, name), sizeof(type), #type[0] == 'i'},
#define SPAN_A(type, name, n) {#name, offsetof(car, name), sizeof(type) * n, false},
    static const field_span spans[] = {CAR_FIELDS(SPAN_F, SPAN_A)};
    size_t n;
    const car_field_range *range = car_field_ranges(&n);
    ASSERT_EQ(n, std::size(spans));
    temp_dir d;
    for (const field_span &f : spans) {
        const car_field_range &r = range[&f - spans];   /* a value within range, not the preset's */
        char value[64];
        snprintf(value, sizeof value, f.whole ? "%.0f" : "%g", f.whole ? r.lo + 1 : r.lo + (r.hi - r.lo) * 0.3);
        std::string text = f.name + std::string(!strcmp(f.name, "GearReduction") ? " = [-4, 0, 3, 2, 1.5, 1.2, 1, 0.9, 0.8]"
                                                                                : std::string(" = ") + value);
        car c;
        ASSERT_EQ(read_car(d / "c.toml", text.c_str(), &c), "");
        for (const field_span &g : spans)
            EXPECT_EQ(memcmp((char *)&c + g.at, (const char *)&KVT + g.at, g.size) == 0, &g != &f)
                << f.name << " set, " << g.name << " compared";
    }
}

/* Catches a bad file accepted or refused without its file and line, or a value no car can have
 * (inf or NaN in the run, a divisor at 0) refused without its range. */
TEST(CarFile, BadFilesAreRefusedWithFileAndLine)
{
    struct { std::string text, message; } cases[] = {
        {"Mass = 900\nG = = 1\n", "x.toml:2: not TOML (column 5): could not determine value type"},
        {"G = 1\nMass = 900\nG = 2\n", "x.toml:3: \"G\" is given twice"},
        {"GearReduction = [-3.953, 0, 3.369, 2.035, 1.36, 1, 0.856, 0, 0]\nGearReduction = []\n",
         "x.toml:2: \"GearReduction\" is given twice"},
        {"\n\n\nMas = 900\n", "x.toml:4: unknown field \"Mas\" (did you mean \"Mass\"?)"},
        {"mass = 900\n", "x.toml:1: unknown field \"mass\" (did you mean \"Mass\"?)"},
        {"Horsepower = 900\n", "x.toml:1: unknown field \"Horsepower\""},
        {"G = 1\n[engine]\nPeakTorque = 400\n", "x.toml:2: table \"engine\": a car file is one flat table of fields"},
        {"engine.PeakTorque = 400\n", "x.toml:1: table \"engine\": a car file is one flat table of fields"},
        {"Mass = true\n", "x.toml:1: Mass takes a number, not a boolean"},
        {"Mass = [900]\n", "x.toml:1: Mass takes a number, not an array"},
        {"Mass = {kg = 900}\n", "x.toml:1: Mass takes a number, not a table"},
        {"GearMax = 5.5\n", "x.toml:1: GearMax takes an integer, not a fraction"},
        {"DriveTrain = 1.0\n", "x.toml:1: DriveTrain takes an integer, not a fraction"},
        {"DriveTrain = 3000000000\n", "x.toml:1: DriveTrain = 3000000000 is out of int range"},
        {"GearReduction = 3.369\n", "x.toml:1: GearReduction takes an array of 9 numbers, not a fraction"},
        {"GearReduction = [-3.953, 0, 3.369, 2.035, 1.36, 1, 0.856, 0]\n",
         "x.toml:1: GearReduction has 8 numbers; it takes exactly 9 (reverse, neutral, gears 1 to 7)"},
        {"GearReduction = [\n -3.953, 0,\n 3.369, \"x\", 1.36, 1, 0.856, 0, 0]\n", "x.toml:3: GearReduction[3] takes a number, not text"},
        {"GearReduction = [-3.953, 0, 3.369, nan, 1.36, 1, 0.856, 0, 0]\n",
         "x.toml:1: GearReduction[3] is nan: every number must be finite"},
        {"G = -inf\n", "x.toml:1: G is infinite: every number must be finite"},
        {"PeakTorque = 4e38\n", "x.toml:1: PeakTorque = 4e38 is out of float range"},
        {"PeakTorque = -1e-46\n", "x.toml:1: PeakTorque = -1e-46 is out of float range"},
        /* out of range: units, no unit, a note, an entry, an int */
        {"Mass = 0.01\n", "x.toml:1: Mass must be 10 to 100000 kg, not 0.01"},
        {"WheelRadius = 1e-38\n", "x.toml:1: WheelRadius must be 0.05 to 2 m, not 1e-38"},
        {"G = 1e15\n", "x.toml:1: G must be 0 to 10, not 1e+15"},
        {"GearMax = 8\n", "x.toml:1: GearMax must be 1 to 7 (the ratio table has room for seven forward gears), not 8"},
        {"GearReduction = [-3.953, 0, 3.369, 2.035, 1.36, 1, 0.856, 0, 25]\n",
         "x.toml:1: GearReduction[8] must be -20 to 20, not 25"},
        {"DriveTrain = -3\n", "x.toml:1: DriveTrain must be 0 to 3, not -3"},
    };
    temp_dir d{{"s.txt", "10 Up\n"}};
    mkdir((d / "dir.toml").c_str(), 0700);
    for (const auto &k : cases) {
        write_file(d / "x.toml", k.text);
        expect_refused(d, "--car x.toml --trace old.csv s.txt", k.message);
    }
    expect_refused(d, "--car none.toml --trace old.csv s.txt", "none.toml: No such file or directory");
    expect_refused(d, "--car dir.toml --trace old.csv s.txt", "dir.toml: Is a directory");
}

/* Catches a range bound moved or missing: both edges of every range are a car, a thousandth past is not. */
TEST(CarFile, EdgesOfEveryRangeAreACarAndNothingPast)
{
    size_t n;
    const car_field_range *r = car_field_ranges(&n);
    temp_dir d;
    for (size_t i = 0; i < n; i++) {
        const bool array = !strcmp(r[i].name, "GearReduction");
        size_t at;
        bool whole;
        char text[96], err[512];
        ASSERT_EQ(car_field_find(array ? "GearReduction[0]" : r[i].name, &at, &whole, err, sizeof err), 0) << err;
        /* past an edge: by one for an integer, else by a thousandth of it (of HI past 0) */
        auto past = [&](double edge, double by) {
            return edge + by * (whole ? 1 : (edge ? std::fabs(edge) : r[i].hi) / 1000);
        };
        for (double v : {past(r[i].lo, -1), r[i].lo, r[i].hi, past(r[i].hi, 1)}) {
            snprintf(text, sizeof text, array ? "%s = [%.10g, 0, 1, 1, 1, 1, 1, 1, 1]" : "%s = %.10g", r[i].name, v);
            car c;
            std::string why = read_car(d / "x.toml", text, &c);
            bool in = v >= r[i].lo && v <= r[i].hi;
            EXPECT_TRUE(in ? why.empty() : why.find(" must be ") != std::string::npos) << text << ": " << why;
        }
    }
}

/* Catches a field set by name rounding twice, landing elsewhere, or taking what a file may not. */
TEST(CarFile, FieldSetByNameIsCheckedAsAFileValueIs)
{
    struct { const char *name, *text, *refusal; } cases[] = {
        {"Mass", "950", nullptr}, {"G", "1.00000005960464477539063", nullptr}, {"GearReduction[3]", "+2.5", nullptr},
        {"GearMax", "7", nullptr}, {"DriveTrain", "2", nullptr},
        {"Mass", "0", "Mass must be 10 to 100000 kg, not 0"},
        {"Mass", "nan", "Mass takes a finite number, not \"nan\""},
        {"Mass", "9e9e", "Mass takes a finite number, not \"9e9e\""},
        {"Mass", "1e39", "Mass = 1e39 is out of float range"},
        {"G", "1e-46", "G = 1e-46 is out of float range"},
        {"GearMax", "8", "GearMax must be 1 to 7 (the ratio table has room for seven forward gears), not 8"},
        {"GearMax", "5.5", "GearMax takes an integer, not \"5.5\""},
        {"DriveTrain", "3000000000", "DriveTrain = 3000000000 is out of int range"},
        {"Mas", "900", "unknown field \"Mas\" (did you mean \"Mass\"?)"},
        {"GearReduction[9]", "1", "GearReduction takes one of its 9 entries by index, as GearReduction[0] to GearReduction[8]"},
        {"GearReduction", "1", "GearReduction takes one of its 9 entries by index, as GearReduction[0] to GearReduction[8]"},
        {"GearReduction[x]", "1", "\"GearReduction[x]\" is not a field"},
        {"Mass[1]", "1", "Mass has no entries to index"},
    };
    temp_dir d;
    for (const auto &k : cases) {
        car c = KVT;
        char err[512] = "";
        int st = car_field_set(&c, k.name, k.text, err, sizeof err);
        if (k.refusal) {
            EXPECT_TRUE(st == -1 && !strcmp(err, k.refusal) && !memcmp(&c, &KVT, sizeof c)) << k.name << ": " << err;
            continue;
        }
        ASSERT_EQ(st, 0) << k.name << ": " << err;
        car want = KVT;
        std::string file = k.name + std::string(" = ") + k.text;
        if (!strcmp(k.name, "GearReduction[3]"))
            want.GearReduction[3] = 2.5f;
        else
            ASSERT_EQ(read_car(d / "c.toml", file.c_str(), &want), "") << file;
        EXPECT_EQ(memcmp(&c, &want, sizeof c), 0) << file;
    }
}

/* Catches docs/cars.md's table of ranges drifting from the enforced one: fields, order, bounds, units. */
TEST(CarFile, RangesTableIsTheEnforcedOne)
{
    std::string page = read_file(CARAVELT_DOCS_DIR "/cars.md");
    size_t begin = page.find("<!-- ranges: begin -->"), end = page.find("<!-- ranges: end -->");
    ASSERT_TRUE(begin != std::string::npos && end != std::string::npos);
    std::istringstream rows(page.substr(begin, end - begin));
    size_t n;
    const car_field_range *r = car_field_ranges(&n);
    size_t i = 0;
    for (std::string line; std::getline(rows, line);) {
        if (line.rfind("| `", 0) != 0)
            continue;
        std::vector<std::string> cells;
        for (size_t at = 1, bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1)
            cells.push_back(line.substr(at + 1, bar - at - (bar - at > 1 ? 2 : 1)));
        ASSERT_LT(i, n) << line;
        EXPECT_EQ(cells[0], "`" + std::string(r[i].name) + "`");
        EXPECT_EQ(std::stod(cells[1]), r[i].lo) << r[i].name;
        EXPECT_EQ(std::stod(cells[2]), r[i].hi) << r[i].name;
        EXPECT_TRUE(cells[3] == r[i].unit || cells[3][0] == '(') << r[i].name << ": " << cells[3];   /* a note */
        i++;
    }
    EXPECT_EQ(i, n) << "rows in docs/cars.md";
}
