// kvordump, run as a program: the scene as JSON, the chunk list, the
// one-line errors for files it cannot read and the usage errors. Scenes are
// built in memory and written with SaveScene, or built byte by byte, into a
// temporary folder; the kvordump built beside this test program reads them.
#include "files/scene_bytes.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace bytes;

namespace {

// The build puts this program in <build>/tests and kvordump in
// <build>/tools.
std::string KvordumpPath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return "";
    const std::filesystem::path program(std::string(self, size_t(length)));
    return (program.parent_path().parent_path() / "tools" / "kvordump").string();
}

std::string ReadText(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& data)
{
    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

struct Result {
    int status;               // exit status; −1 when the program did not exit normally
    std::string out;
    std::string err;
};

struct SpawnResult {
    int error;                // posix_spawn's error, 0 when it started
    int status;
};

// Runs `argv` (searched in PATH when `search`) with standard input from
// `input`, standard output and error into the named files.
SpawnResult Spawn(const std::vector<std::string>& argv, bool search, const std::string& input,
                  const std::string& out, const std::string& err)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    const int error = search ? posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ)
                             : posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return {error, -1};
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {0, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

class Kvordump : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvordump_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "cannot make a temporary folder";
        dir_ = pattern;
        program_ = KvordumpPath();
        ASSERT_EQ(access(program_.c_str(), X_OK), 0) << "kvordump is not built at " << program_;
    }

    void TearDown() override
    {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Runs kvordump with these arguments, standard input from `input` and
    // standard output into `output` (a file of the temporary folder when
    // empty, whose text is then the result's).
    Result Run(const std::vector<std::string>& args, const std::string& input = "/dev/null",
               const std::string& output = "") const
    {
        std::vector<std::string> argv = {program_};
        argv.insert(argv.end(), args.begin(), args.end());
        const std::string out = output.empty() ? Path("stdout") : output;
        const SpawnResult spawned = Spawn(argv, false, input, out, Path("stderr"));
        if (spawned.error != 0)
            return {-1, "", "cannot start kvordump"};
        return {spawned.status, output.empty() ? ReadText(out) : "", ReadText(Path("stderr"))};
    }

    // Writes the scene with SaveScene and returns the file's path.
    std::string Save(const Scene* scene, const std::string& name) const
    {
        const std::string path = Path(name);
        const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(path.c_str())}, {TAG_DONE, 0}};
        EXPECT_NE(SaveScene(scene, tags), 0u) << "cannot write " << path;
        return path;
    }

    std::string Write(const Bytes& data, const std::string& name) const
    {
        WriteBytes(Path(name), data);
        return Path(name);
    }

    // Whether Python's json module reads the text as one JSON document.
    ::testing::AssertionResult ParsesAsJson(const std::string& text) const
    {
        WriteBytes(Path("document.json"), Bytes(text.begin(), text.end()));
        const SpawnResult spawned = Spawn({"python3", "-c", "import json,sys; json.load(sys.stdin)"}, true,
                                          Path("document.json"), Path("python.out"), Path("python.err"));
        if (spawned.error != 0 || spawned.status == 127)
            return ::testing::AssertionFailure() << "python3 is needed to check the JSON and was not found";
        if (spawned.status != 0)
            return ::testing::AssertionFailure() << "not valid JSON: " << ReadText(Path("python.err"));
        return ::testing::AssertionSuccess();
    }

    std::string dir_;
    std::string program_;
};

void SetTriple(float* values, float x, float y, float z)
{
    values[0] = x;
    values[1] = y;
    values[2] = z;
}

// Settings, a texture for each use, a light effect used by a light, a null
// parent with a motion key, a textured object, a light with a light key and
// a named camera with a key.
ScenePtr SmallScene()
{
    ScenePtr owned(AllocScene());
    Scene* scene = owned.get();
    scene->nearClip = 2.0f;
    scene->farClip = 1000.0f;
    scene->fog[0] = 0x00405060;
    scene->fog[1] = 100;
    scene->fog[2] = 0x4000;
    scene->fog[3] = 900;
    scene->fog[4] = 0x10000;
    scene->flags = 0x1000 | SCENE_FOGNEAR | (1 << 8) | SCENE_SHADOWS;
    scene->ambientLevel = 0.5f;
    scene->ambientValue2 = 0.25f;
    scene->backgroundColour = 0x00102030;
    scene->backgroundValue2 = 7;
    scene->backgroundValue3 = 8;
    scene->backgroundMap = build::AddTexture(scene, "back.iff", 1, 1);

    LightEffect* glare = build::AddLightEffect(scene, "glare");
    glare->effectValue = 5;
    LightEffectElement* ring = build::AddElement(glare, "ring", 0x20000, build::AddTexture(scene, "flare.iff", 1, 1));
    ring->e3 = 1;

    Entity* root = build::AddNull(scene, "root");
    SetTriple(root->position, 0.1f, 2, 3);
    build::AddMotionKey(root, 50, {{1, 2, 3}, {0, 90, 0}, {1, 1, 1}}, build::SPLINE, 0.5f, -0.25f, 0.125f);

    ObjectEntity* box = build::AddObject(scene, "box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    box->parent = root;
    SetTriple(box->pivot, 0.5f, 0.5f, 0);
    SetTriple(box->rotation, 0, 45, 0);
    box->objectFlags = OBJECT_TEXTURE | OBJECT_DOUBLESIDED;
    box->colour = 0x80FF8000;
    box->textureMap = build::AddTexture(scene, "wood.iff", 1, 1);
    box->material[1] = 2;

    LightEntity* lamp = build::AddLight(scene, "lamp");
    lamp->lightFlags = LIGHT_ON;
    lamp->lightValue1 = 0.75f;
    lamp->lightValue2 = 500.0f;
    lamp->lightValue3 = 0x00FFEEDD;
    lamp->effect = glare;
    build::AddLightKey(lamp, 100, 0.5f);

    auto* camera = static_cast<CameraEntity*>(scene->camera);
    camera->name = CopyName("eye");
    camera->fieldOfView = 60.0f;
    camera->cameraValue2 = 3;
    SetTriple(camera->position, 0, 0, -10);
    build::AddMotionKey(camera, 0, {{0, 0, -10}, {0, 0, 0}, {0, 0, 0}}, build::LINEAR);
    return owned;
}

const char SMALL_SCENE_JSON[] = R"({
  "settings": {
    "flags": "0x01011100",
    "near_clip": 2,
    "far_clip": 1000,
    "fog": {
      "mode": 1,
      "colour": "0x00405060",
      "start": 100,
      "start_weight": 16384,
      "end": 900,
      "end_weight": 65536,
      "near_plane": true,
      "far_plane": false
    },
    "ambient": {
      "level": 0.5,
      "value2": 0.25
    },
    "background": {
      "mode": 1,
      "colour": "0x00102030",
      "value2": 7,
      "value3": 8,
      "map": "back.iff",
      "floor": null,
      "sky": null
    },
    "shadows": true
  },
  "textures": [
    "back.iff",
    "flare.iff",
    "wood.iff"
  ],
  "light_effects": [
    {
      "name": "glare",
      "value": 5,
      "elements": [
        {
          "name": "ring",
          "map": "flare.iff",
          "e0": 131072,
          "e1": 65536,
          "e2": 65536,
          "e3": 1
        }
      ]
    }
  ],
  "entity_count": 3,
  "entities": [
    {
      "kind": "null",
      "kind_id": 0,
      "name": "root",
      "flags": "0x01000000",
      "parent": null,
      "pivot": [0, 0, 0],
      "position": [0.100000001, 2, 3],
      "rotation": [0, 0, 0],
      "size": [0, 0, 0],
      "keys": [
        {
          "time": 50,
          "flags": "0x00000003",
          "tension": 0.5,
          "continuity": -0.25,
          "bias": 0.125,
          "position": [1, 2, 3],
          "rotation": [0, 90, 0],
          "size": [1, 1, 1]
        }
      ]
    },
    {
      "kind": "object",
      "kind_id": 1,
      "name": "box",
      "flags": "0x01000000",
      "parent": "root",
      "pivot": [0.5, 0.5, 0],
      "position": [0, 0, 0],
      "rotation": [0, 45, 0],
      "size": [1, 1, 1],
      "keys": [],
      "object": {
        "flags": "0x00000102",
        "vertices": 3,
        "faces": 1,
        "colour": "0x80ff8000",
        "maps": {
          "texture": "wood.iff",
          "environment": null,
          "bump": null,
          "transparency": null
        },
        "material": ["0x00000000", "0x00000002", "0x00000000", "0x00000000"],
        "sprite_effect": null,
        "sprite_value": 0,
        "correction": 0,
        "glow": [0, 1],
        "rdst": [0, 0, 0, 0]
      }
    },
    {
      "kind": "light",
      "kind_id": 3,
      "name": "lamp",
      "flags": "0x01000000",
      "parent": null,
      "pivot": [0, 0, 0],
      "position": [0, 0, 0],
      "rotation": [0, 0, 0],
      "size": [1, 1, 1],
      "keys": [],
      "light": {
        "flags": "0x00000001",
        "intensity": 0.75,
        "range": 500,
        "colour": "0x00ffeedd",
        "effect": "glare",
        "keys": [
          {
            "time": 100,
            "flags": "0x00000001",
            "tension": 0,
            "continuity": 0,
            "bias": 0,
            "value": 0.5
          }
        ]
      }
    }
  ],
  "camera": {
    "kind": "camera",
    "kind_id": 666,
    "name": "eye",
    "flags": "0x00000000",
    "parent": null,
    "pivot": [0, 0, 0],
    "position": [0, 0, -10],
    "rotation": [0, 0, 0],
    "size": [0, 0, 0],
    "keys": [
      {
        "time": 0,
        "flags": "0x00000001",
        "tension": 0,
        "continuity": 0,
        "bias": 0,
        "position": [0, 0, -10],
        "rotation": [0, 0, 0],
        "size": [0, 0, 0]
      }
    ],
    "camera": {
      "field_of_view": 60,
      "value2": 3
    }
  }
}
)";

// What a scene of default settings without textures or light effects
// prints before its entities, and its default camera after them.
const char DEFAULT_SETTINGS_JSON[] = R"({
  "settings": {
    "flags": "0x00000000",
    "near_clip": 1,
    "far_clip": 32768,
    "fog": {
      "mode": 0,
      "colour": "0x00000000",
      "start": 0,
      "start_weight": 0,
      "end": 0,
      "end_weight": 0,
      "near_plane": false,
      "far_plane": false
    },
    "ambient": {
      "level": 0,
      "value2": 1
    },
    "background": {
      "mode": 0,
      "colour": "0x00000000",
      "value2": 0,
      "value3": 0,
      "map": null,
      "floor": null,
      "sky": null
    },
    "shadows": false
  },
  "textures": [],
  "light_effects": [],
)";

const char DEFAULT_CAMERA_JSON[] = R"(  "camera": {
    "kind": "camera",
    "kind_id": 666,
    "name": null,
    "flags": "0x00000000",
    "parent": null,
    "pivot": [0, 0, 0],
    "position": [0, 0, 0],
    "rotation": [0, 0, 0],
    "size": [0, 0, 0],
    "keys": [],
    "camera": {
      "field_of_view": 0,
      "value2": 0
    }
  }
}
)";

// The 72-byte file of one drawn null entity "box" at (1, 2, 3).
Bytes BoxFile()
{
    return Form({Version(7), Enty(ENTITY_NULL), StringChunk("NAME", "box"),
                 WordChunk("POSN", {F(1.0f), F(2.0f), F(3.0f)})});
}

// ---- The scene as JSON ----------------------------------------------------------------

TEST_F(Kvordump, PrintsSettingsEffectsEntitiesAndCameraAsExactJson)
{
    ScenePtr scene = SmallScene();
    const Result result = Run({Save(scene.get(), "small.kvor")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, SMALL_SCENE_JSON);
    EXPECT_TRUE(ParsesAsJson(result.out));
}

TEST_F(Kvordump, PrintsMorphTargetsAndMorphKeysByName)
{
    ScenePtr owned(AllocScene());
    MorphEntity* blob = build::AddMorph(owned.get(), "blob", 3, {{0, 1, 2}});
    MorphTarget* flat = build::AddTarget(blob, "flat", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    MorphTarget* tall = build::AddTarget(blob, "tall", {{0, 0, 1}, {2, 0, 1}, {0, 2, 1}});
    build::AddMorphKey(blob, 0, flat, build::LINEAR);
    MorphKey* stretch = build::AddMorphKey(blob, 350, tall, build::SPLINE);
    stretch->k0 = 0.5f;

    const Result result = Run({Save(owned.get(), "morph.kvor")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, std::string(DEFAULT_SETTINGS_JSON) + R"(  "entity_count": 1,
  "entities": [
    {
      "kind": "morph",
      "kind_id": 2,
      "name": "blob",
      "flags": "0x01000000",
      "parent": null,
      "pivot": [0, 0, 0],
      "position": [0, 0, 0],
      "rotation": [0, 0, 0],
      "size": [1, 1, 1],
      "keys": [],
      "object": {
        "flags": "0x00000000",
        "vertices": 3,
        "faces": 1,
        "colour": "0x00000000",
        "maps": {
          "texture": null,
          "environment": null,
          "bump": null,
          "transparency": null
        },
        "material": ["0x00000000", "0x00000000", "0x00000000", "0x00000000"],
        "sprite_effect": null,
        "sprite_value": 0,
        "correction": 0,
        "glow": [0, 1],
        "rdst": [0, 0, 0, 0]
      },
      "morph": {
        "current_target": "flat",
        "targets": [
          {"name": "flat", "vertices": 3},
          {"name": "tall", "vertices": 3}
        ],
        "keys": [
          {
            "time": 0,
            "flags": "0x00000001",
            "tension": 0,
            "continuity": 0,
            "bias": 0,
            "target": "flat"
          },
          {
            "time": 350,
            "flags": "0x00000003",
            "tension": 0.5,
            "continuity": 0,
            "bias": 0,
            "target": "tall"
          }
        ]
      }
    }
  ],
)" + DEFAULT_CAMERA_JSON);
    EXPECT_TRUE(ParsesAsJson(result.out));
}

TEST_F(Kvordump, UnknownEntityKindsPrintAsNullEntitiesWithTheirNumber)
{
    const Result result =
        Run({Write(Form({Version(7), Enty(77, 0x3), StringChunk("NAME", "marker")}), "marker.kvor")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, std::string(DEFAULT_SETTINGS_JSON) + R"(  "entity_count": 1,
  "entities": [
    {
      "kind": "null",
      "kind_id": 77,
      "name": "marker",
      "flags": "0x00000003",
      "parent": null,
      "pivot": [0, 0, 0],
      "position": [0, 0, 0],
      "rotation": [0, 0, 0],
      "size": [0, 0, 0],
      "keys": []
    }
  ],
)" + DEFAULT_CAMERA_JSON);
}

TEST_F(Kvordump, EscapesNamesSoThatTheJsonStaysValid)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"say \"hi\"", R"("say \"hi\"")"},
        {"back\\slash", R"("back\\slash")"},
        {"two\nlines\tand\x01", R"("two\nlines\tand\u0001")"},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},            // UTF-8 as it is
        {"caf\xe9", R"("caf\u00e9")"},                  // a lone Latin-1 byte
        {"\xed\xa0\x80", R"("\u00ed\u00a0\u0080")"},   // a surrogate is no UTF-8
        {"\xc0\xaf", R"("\u00c0\u00af")"},                // nor an overlong form
        {"\xf0\x9f\x99\x82 \xe2\x82", "\"\xf0\x9f\x99\x82 \\u00e2\\u0082\""},  // nor a cut sequence
    };
    for (const auto& [name, json] : cases) {
        SCOPED_TRACE(json);
        const Result result =
            Run({Write(Form({Version(7), Enty(ENTITY_NULL), StringChunk("NAME", name)}), "names.kvor")});
        EXPECT_EQ(result.status, 0);
        EXPECT_NE(result.out.find("      \"name\": " + json + ",\n"), std::string::npos) << result.out;
        EXPECT_TRUE(ParsesAsJson(result.out));
    }
}

TEST_F(Kvordump, PrintsNonFiniteFloatsAsNullAndFiniteOnesSoThatTheyRoundTrip)
{
    const Result result = Run({Write(Form({Version(7), Enty(ENTITY_NULL),
                                           WordChunk("POSN", {F(NAN), F(INFINITY), F(-INFINITY)}),
                                           WordChunk("ROT2", {F(0.1f), F(-1e-30f), F(3.40282347e38f)})}),
                                     "floats.kvor")});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("      \"position\": [null, null, null],\n"
                              "      \"rotation\": [0.100000001, -1e-30, 3.40282347e+38],\n"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(ParsesAsJson(result.out));
}

// ---- Chunk list -------------------------------------------------------------------------

TEST_F(Kvordump, ListsChunksWithOffsetsIdsAndSizes)
{
    Bytes file = BoxFile();
    const Bytes odd = RawChunk("XTRA", {1, 2, 3, 4, 5});      // skipped with its pad byte
    const Bytes unprintable = RawChunk("\x01\x7f" "ab", {});  // an id of any bytes
    file.insert(file.end(), odd.begin(), odd.end());
    file.push_back(0);
    file.insert(file.end(), unprintable.begin(), unprintable.end());
    const Bytes size = WordChunk("SIZE", {F(1.0f), F(1.0f), F(1.0f)});
    file.insert(file.end(), size.begin(), size.end());
    PutWord(file.data() + 4, uint32_t(file.size() - 8));

    for (const char* option : {"-c", "--chunks"}) {
        SCOPED_TRACE(option);
        const Result result = Run({option, Write(file, "chunks.kvor")});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, R"({
  "form": {"size": 106, "type": "KVOR"},
  "chunks": [
    {"offset": 12, "id": "VERS", "size": 4},
    {"offset": 24, "id": "ENTY", "size": 8},
    {"offset": 40, "id": "NAME", "size": 4},
    {"offset": 52, "id": "POSN", "size": 12},
    {"offset": 72, "id": "XTRA", "size": 5},
    {"offset": 86, "id": "\u0001\u007fab", "size": 0},
    {"offset": 94, "id": "SIZE", "size": 12}
  ]
}
)");
        EXPECT_TRUE(ParsesAsJson(result.out));
    }
}

TEST_F(Kvordump, ListsTheChunksOfAFileTheReaderRefuses)
{
    const std::string path = Write(
        Form({Version(7), Enty(ENTITY_LIGHT), StringChunk("TXTR", "wood.iff")}), "refused.kvor");
    const Result chunks = Run({"--chunks", path});
    EXPECT_EQ(chunks.status, 0);
    EXPECT_EQ(chunks.err, "");
    EXPECT_EQ(chunks.out, R"({
  "form": {"size": 50, "type": "KVOR"},
  "chunks": [
    {"offset": 12, "id": "VERS", "size": 4},
    {"offset": 24, "id": "ENTY", "size": 8},
    {"offset": 40, "id": "TXTR", "size": 10}
  ]
}
)");

    const Result scene = Run({path});
    EXPECT_EQ(scene.status, 1);
    EXPECT_EQ(scene.out, "");
    EXPECT_EQ(scene.err, "kvordump: " + path + ": the scene reader refuses it (--chunks lists its chunks)\n");
}

TEST_F(Kvordump, ListsTheWholeChunksOfATruncatedFileAndFails)
{
    Bytes file = BoxFile();
    file.resize(56);
    const std::string path = Write(file, "truncated.kvor");
    const std::string error = "kvordump: " + path + ": truncated: the FORM needs 72 bytes, the file has 56\n";

    const Result chunks = Run({"-c", path});
    EXPECT_EQ(chunks.status, 1);
    EXPECT_EQ(chunks.err, error);
    EXPECT_EQ(chunks.out, R"({
  "form": {"size": 64, "type": "KVOR"},
  "chunks": [
    {"offset": 12, "id": "VERS", "size": 4},
    {"offset": 24, "id": "ENTY", "size": 8},
    {"offset": 40, "id": "NAME", "size": 4}
  ]
}
)");
    EXPECT_TRUE(ParsesAsJson(chunks.out));

    const Result scene = Run({path});
    EXPECT_EQ(scene.status, 1);
    EXPECT_EQ(scene.out, "");
    EXPECT_EQ(scene.err, error);
}

TEST_F(Kvordump, ChunkRunningPastTheFormEndIsNamedWithItsOffset)
{
    Bytes file = BoxFile();
    PutWord(file.data() + 56, 13);    // POSN claims one byte more than the FORM holds
    file.push_back(0);                // ... and the file has it, past the FORM
    const std::string path = Write(file, "overrun.kvor");
    const std::string error =
        "kvordump: " + path + ": chunk 'POSN' of 13 bytes at offset 52 runs past the end of the FORM at 72\n";
    for (const std::vector<std::string>& args : {std::vector<std::string>{path}, {"-c", path}}) {
        const Result result = Run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, error);
    }

    Bytes header = Form({Version(7)});
    header.insert(header.end(), {'E', 'N', 'T', 'Y'});
    PutWord(header.data() + 4, uint32_t(header.size() - 8));
    const Result partial = Run({Write(header, "header.kvor")});
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(partial.err, "kvordump: " + Path("header.kvor") +
                               ": chunk header at offset 24 runs past the end of the FORM at 28\n");
}

TEST_F(Kvordump, TruncatedSavedSceneFailsWithBothSizes)
{
    ScenePtr scene = SmallScene();
    const std::string path = Save(scene.get(), "small.kvor");
    const std::string text = ReadText(path);
    const size_t half = text.size() / 2;
    const std::string cut = Write(Bytes(text.begin(), text.begin() + long(half)), "half.kvor");
    const Result result = Run({cut});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "kvordump: " + cut + ": truncated: the FORM needs " + std::to_string(text.size()) +
                              " bytes, the file has " + std::to_string(half) + "\n");
}

// ---- Files that cannot be read ---------------------------------------------------------------

TEST_F(Kvordump, FilesThatCannotBeReadGiveOneLineNamingFileAndReason)
{
    Bytes ilbm = Form({});
    PutWord(ilbm.data() + 8, IffId("ILBM"));
    Bytes tiny = Form({});
    PutWord(tiny.data() + 4, 2);
    const std::string text = "hello, this is no scene\n";
    const std::string folder = Path("folder");
    std::filesystem::create_directory(folder);

    const std::vector<std::pair<std::string, std::string>> cases = {
        {Path("missing.kvor"), "cannot open: No such file or directory"},
        {folder, "cannot read: Is a directory"},
        {Write({}, "empty.kvor"), "not a scene file"},
        {Write({'F', 'O', 'R', 'M'}, "short.kvor"), "not a scene file"},
        {Write(Bytes(text.begin(), text.end()), "text.kvor"), "not a scene file"},
        {Write(ilbm, "picture.iff"), "not a scene file"},
        {Write(tiny, "tiny.kvor"), "FORM size 2 cannot hold its type"},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        for (const char* option : {"", "-c"}) {
            const Result result = *option ? Run({option, path}) : Run({path});
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, "kvordump: " + path + ": " + reason + "\n");
        }
    }
}

TEST_F(Kvordump, OutputThatCannotBeWrittenFailsWithOneLine)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    const std::string path = Write(BoxFile(), "box.kvor");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{path}, {"--chunks", path}, {"--help"}}) {
        SCOPED_TRACE(args[0]);
        const Result result = Run(args, "/dev/null", "/dev/full");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "kvordump: cannot write the output: No space left on device\n");
    }
}

// ---- Command line ------------------------------------------------------------------------------

TEST_F(Kvordump, DashReadsStandardInput)
{
    const std::string path = Write(BoxFile(), "box.kvor");
    const Result byName = Run({"-c", path});
    const Result byInput = Run({"-c", "-"}, path);
    EXPECT_EQ(byInput.status, 0);
    EXPECT_EQ(byInput.out, byName.out);

    const Result refused = Run({"-"}, Write({'n', 'o'}, "no.kvor"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "kvordump: -: not a scene file\n");
}

TEST_F(Kvordump, DoubleDashEndsTheOptions)
{
    const Result result = Run({"--", "-c"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "kvordump: -c: cannot open: No such file or directory\n");
}

TEST_F(Kvordump, UsageErrorsExitWithStatus2AndTheUsageLine)
{
    const std::string usage = "usage: kvordump [-c | --chunks] FILE\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "kvordump: no scene file given\n"},
        {{"-c"}, "kvordump: no scene file given\n"},
        {{"a.kvor", "b.kvor"}, "kvordump: one scene file at a time ('a.kvor' and 'b.kvor')\n"},
        {{"-x", "a.kvor"}, "kvordump: unknown option '-x'\n"},
        {{"-cx", "a.kvor"}, "kvordump: unknown option '-x'\n"},
        {{"--bogus", "a.kvor"}, "kvordump: unknown option '--bogus'\n"},
        {{"--chunks=yes", "a.kvor"}, "kvordump: unknown option '--chunks=yes'\n"},
    };
    for (const auto& [args, error] : cases) {
        SCOPED_TRACE(error);
        const Result result = Run(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, error + usage);
    }
}

TEST_F(Kvordump, HelpPrintsTheUsageAndOptionsAndExitsWith0)
{
    for (const char* option : {"-h", "--help"}) {
        SCOPED_TRACE(option);
        const Result result = Run({option});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out,
                  "usage: kvordump [-c | --chunks] FILE\n"
                  "Prints a kvor3d scene file as JSON: the scene settings, textures, light\n"
                  "effects and every entity with its keys, as the scene reader builds them.\n"
                  "FILE \"-\" reads standard input.\n"
                  "\n"
                  "  -c, --chunks   print the FORM's chunk list (offset, id, size) instead;\n"
                  "                 this works on files the scene reader refuses\n"
                  "  -h, --help     print this help and exit\n"
                  "\n"
                  "Exit status: 0 on success, 1 when the file cannot be read or is not a\n"
                  "valid scene file, 2 for a usage error.\n");
    }
}

}  // namespace
