// Sections: reading the parameters | the simulation and its recording | playback
#include "effects/cubePhysics.h"

#include <climits>
#include <cmath>
#include <string>

#include "effects/cubeRandom.h"
#include "graphics/dynamicTexture.h"
#include "graphics/sharedGraphics.h"
#include "graphics/texture.h"
#include "physics/physicsScene.h"
#include "system/log.h"

namespace Effects {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 6.28318531f;
// Heights beyond this lose the precision of a float at unit scale and only stall the simulation.
constexpr double kMaxHeight = 1.0e6;
constexpr double kMaxBigSize = 1000.0;

// The script's "double, truncated to int": a value beyond the int range saturates and NaN reads as 0,
// where a plain conversion would be undefined.
int TruncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= double(INT_MAX)) return INT_MAX;
    if (value <= double(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

// In the row-vector form the cube renderer reads: the first three rows are the columns of the body's
// rotation and the fourth its position, so that a point q of the unit cube lands on R q + p.
Matrix BodyMatrix(const Physics::Transform& t) {
    const Physics::Vec3 rows[4] = {t.rotation.ex, t.rotation.ey, t.rotation.ez, t.position};
    Matrix m;
    for (int i = 0; i < 4; ++i) {
        m.m[i][0] = rows[i].x;
        m.m[i][1] = rows[i].y;
        m.m[i][2] = rows[i].z;
    }
    return m;
}

Physics::BodyDef DynamicBody(Physics::Vec3 axis) {
    Physics::BodyDef def;
    def.type = Physics::BodyType::Dynamic;
    def.axis = axis;
    return def;
}

Vec4 Scaled(Vec4 v, float s) {
    return {v.x * s, v.y * s, v.z * s, v.w * s};
}

}  // namespace

// ------------------------------------------------------------------------------ reading the parameters

struct CubePhysics::Settings {
    std::string texture;
    uint32_t seed = 0;
    int numFrames = 100;
    int numCubes = 10;
    float initialHeightRange = -10.0f;
    float ceiling = 10.0f;
    float floor = -10.0f;
    float bigSize = 5.0f;
    int bigDelay = 0;
    Vec4 lit[3];
    Vec4 unlit[3];
    Vec4 specular[3];
};

int CubePhysics::FramesWithinBudget(int numCubes, int numFrames) {
    // The recording reserves a record per small cube and one for the big cube in every frame.
    const int64_t frameBytes = (int64_t(numCubes < 0 ? 0 : numCubes) + 1) * int64_t(sizeof(CubeInstance));
    const int64_t fitting = kMaxRecordedBytes / frameBytes;
    return numFrames <= fitting ? numFrames : static_cast<int>(fitting);
}

CubePhysics::CubePhysics() = default;
CubePhysics::~CubePhysics() {
    // A show that ends (or a script reloaded) while the rain is still being recorded need not wait for
    // the rest of it; the recording thread is still joined before the members it fills go.
    m_abandoned.store(true, std::memory_order_relaxed);
}

CubePhysics::Settings CubePhysics::ReadSettings() const {
    // A load parameter at local time 0; one that is not a number or infinite takes the default.
    auto number = [this](const char* name, double fallback) {
        if (!HasParam(name)) return fallback;
        const double value = GetParam(name)->GetAsDouble(0.0);
        if (std::isfinite(value)) return value;
        VLOG("Effects::CubePhysics::Load", "'%s' is %g; using %g", name, value, fallback);
        return fallback;
    };
    auto bounded = [](const char* name, double value, double low, double high) {
        if (value >= low && value <= high) return value;
        const double bound = value < low ? low : high;
        VLOG("Effects::CubePhysics::Load", "'%s' of %g is out of [%g, %g]; using %g", name, value, low, high,
             bound);
        return bound;
    };

    Settings s;
    s.texture = HasParam("texture") ? GetParam("texture")->GetAsString() : std::string();
    // The generator starts from the integer's bits, so negative seeds are as good as any.
    s.seed = static_cast<uint32_t>(TruncateToInt(number("seed", 0.0)));
    s.numCubes = TruncateToInt(bounded("numCubes", number("numCubes", 10.0), 0.0, kMaxCubes));
    s.numFrames = TruncateToInt(bounded("numFrames", number("numFrames", 100.0), 0.0, kMaxFrames));
    const int frames = FramesWithinBudget(s.numCubes, s.numFrames);
    if (frames != s.numFrames) {
        VLOG("Effects::CubePhysics::Load",
             "%d cubes over %d frames would record more than the %lld MiB a load may hold; recording %d "
             "frames",
             s.numCubes, s.numFrames, static_cast<long long>(kMaxRecordedBytes >> 20), frames);
        s.numFrames = frames;
    }
    s.initialHeightRange = static_cast<float>(
        bounded("initialHeightRange", number("initialHeightRange", -10.0), -kMaxHeight, kMaxHeight));
    s.ceiling = static_cast<float>(bounded("ceiling", number("ceiling", 10.0), -kMaxHeight, kMaxHeight));
    s.floor = static_cast<float>(bounded("floor", number("floor", -10.0), -kMaxHeight, kMaxHeight));
    s.bigSize = static_cast<float>(bounded("bigSize", number("bigSize", 5.0), 0.0, kMaxBigSize));
    s.bigDelay = TruncateToInt(number("bigDelay", 0.0));

    // The colours are required: a missing one is logged by the lookup and reads as zeros.
    static constexpr const char* kColours[3] = {"colour1", "colour2", "colour3"};
    static constexpr const char* kSpeculars[3] = {"colourSpecular1", "colourSpecular2", "colourSpecular3"};
    for (int c = 0; c < 3; ++c) {
        s.lit[c] = GetParam(kColours[c])->GetAsVec4(0.0);
        s.unlit[c] = Scaled(s.lit[c], 0.25f);
        s.specular[c] = GetParam(kSpeculars[c])->GetAsVec4(0.0);
    }
    return s;
}

bool CubePhysics::Load(const pugi::xml_node& node) {
    AwaitRecording();  // a second load must not start beside the first
    if (!Effect::Load(node)) return false;
    const Settings settings = ReadSettings();
    // A texture that fails is logged by the texture; the big cube is then drawn without one.
    m_texture = std::make_unique<Texture>();
    m_texture->Load(settings.texture);
    m_small = std::make_unique<CubeRenderer>(static_cast<uint32_t>(settings.numCubes), false);
    m_big = std::make_unique<CubeRenderer>(1, m_texture->view != nullptr);
    // The simulation is pure computation on the effect's own recording: it needs neither the device
    // nor the log, so it runs beside the rest of the load.
    m_recording = std::async(std::launch::async, [this, settings] { Record(settings); });
    return true;
}

void CubePhysics::AwaitRecording() const {
    if (m_recording.valid()) m_recording.get();
}

// ------------------------------------------------------------------ the simulation and its recording

void CubePhysics::Record(const Settings& s) {
    m_frames.clear();
    m_cubes.clear();
    if (s.numFrames <= 0) return;
    m_frames.reserve(size_t(s.numFrames));
    // Every cube below the ceiling is shown, which with the usual heights is nearly all of them.
    m_cubes.reserve(size_t(s.numCubes + 1) * size_t(s.numFrames));

    CubeRandom random(s.seed);
    Physics::PhysicsScene scene(1.0f / 60.0f, {0.0f, -9.8f, 0.0f});

    Physics::BoxDef smallBox;
    smallBox.extents = {1.0f, 1.0f, 1.0f};
    smallBox.friction = 0.4f;
    smallBox.restitution = 0.0f;
    smallBox.density = 1.0f;
    Physics::BoxDef bigBox;
    bigBox.extents = {s.bigSize, s.bigSize, s.bigSize};
    bigBox.friction = 0.4f;
    bigBox.restitution = 0.2f;
    bigBox.density = 1.0f;

    // The draws are separate statements: their order is what makes a seed give its rain.
    auto spin = [&random](Physics::BodyDef& def) {
        def.angle = random.Next() * kTwoPi - kPi;
        def.angularVelocity.z = random.Next() * 2.0f - 1.0f;
        def.angularVelocity.y = random.Next() * 2.0f - 1.0f;
        def.angularVelocity.x = random.Next() * 2.0f - 1.0f;
        def.linearVelocity.z = random.Next() * 2.0f - 1.0f;
        def.linearVelocity.y = random.Next() * 2.0f - 1.0f;
        def.linearVelocity.x = random.Next() * 2.0f - 1.0f;
    };
    auto create = [&scene](const Physics::BodyDef& def, const Physics::BoxDef& box) {
        Physics::RigidBody* body = scene.CreateBody(def);
        body->AddBox(box);
        return body;
    };

    std::vector<Physics::RigidBody*> bodies(size_t(s.numCubes));
    for (Physics::RigidBody*& body : bodies) {
        Physics::BodyDef def = DynamicBody({0.0f, 1.0f, 0.0f});
        def.position.z = random.Next() * 20.0f - 10.0f;
        def.position.y = s.ceiling + random.Next() * s.initialHeightRange;
        def.position.x = random.Next() * 20.0f - 10.0f;
        spin(def);
        body = create(def, smallBox);
    }

    const float bigFloor = 2.0f * s.floor;
    Physics::RigidBody* big = nullptr;
    for (int f = 0; f < s.numFrames; ++f) {
        if (m_abandoned.load(std::memory_order_relaxed)) return;
        Frame frame;
        frame.first = static_cast<uint32_t>(m_cubes.size());
        for (size_t i = 0; i < bodies.size(); ++i) {
            const Physics::Transform& t = bodies[i]->GetTransform();
            if (!(t.position.y < s.ceiling)) continue;
            const size_t c = i % 3;
            m_cubes.push_back({BodyMatrix(t).Transposed(), s.lit[c], s.unlit[c], s.specular[c]});
            if (!(t.position.y < s.floor)) continue;
            // Fallen through: dropped again from the ceiling, nine draws.
            scene.RemoveBody(bodies[i]);
            Physics::BodyDef def = DynamicBody({0.0f, 1.0f, 0.0f});
            def.position.z = random.Next() * 20.0f - 10.0f;
            def.position.x = random.Next() * 20.0f - 10.0f;
            def.position.y = s.ceiling;
            spin(def);
            bodies[i] = create(def, smallBox);
        }
        frame.smallCount = static_cast<uint32_t>(m_cubes.size()) - frame.first;

        if (f > s.bigDelay && !big) {
            Physics::BodyDef def = DynamicBody({1.0f, 0.0f, 0.0f});
            def.angle = random.Next() * kTwoPi;
            def.position = {0.0f, bigFloor, 0.0f};
            def.angularVelocity.z = 2.0f - 2.0f * random.Next();
            def.angularVelocity.y = 2.0f - 2.0f * random.Next();
            def.angularVelocity.x = 2.0f - 2.0f * random.Next();
            def.linearVelocity = {0.0f, 28.0f + 3.0f * random.Next(), 0.0f};
            big = create(def, bigBox);
        }
        if (big) {
            const Physics::Transform& t = big->GetTransform();
            m_cubes.push_back({(Matrix::Scaling(s.bigSize) * BodyMatrix(t)).Transposed(),
                               {1.0f, 1.0f, 1.0f, 1.0f},
                               {0.0f, 0.0f, 0.0f, 1.0f},
                               {0.5f, 0.5f, 0.5f, 21.0f}});
            frame.bigCount = 1;
            // Back below its start: the next one is launched in the next frame.
            if (t.position.y < bigFloor) {
                scene.RemoveBody(big);
                big = nullptr;
            }
        }
        m_frames.push_back(frame);
        scene.Step();
    }
    // Fewer cubes were shown than there was room for (some stayed above the ceiling).
    if (m_cubes.capacity() - m_cubes.size() > m_cubes.size() / 8) m_cubes.shrink_to_fit();
}

std::span<const CubeInstance> CubePhysics::SmallCubes(size_t frame) const {
    AwaitRecording();
    if (frame >= m_frames.size()) return {};
    return {m_cubes.data() + m_frames[frame].first, m_frames[frame].smallCount};
}

std::span<const CubeInstance> CubePhysics::BigCube(size_t frame) const {
    AwaitRecording();
    if (frame >= m_frames.size()) return {};
    const Frame& f = m_frames[frame];
    return {m_cubes.data() + f.first + f.smallCount, f.bigCount};
}

size_t CubePhysics::GetRecordedBytes() const {
    AwaitRecording();
    return m_cubes.capacity() * sizeof(CubeInstance) + m_frames.capacity() * sizeof(Frame);
}

// ------------------------------------------------------------------------------------------ playback

size_t CubePhysics::FrameAt(double localTime) const {
    AwaitRecording();
    const auto picked = static_cast<uint32_t>(TruncateToInt(GetParam("frame")->GetAsDouble(localTime)));
    // Without a recording there is nothing to wrap round (and no modulo by zero).
    if (m_frames.empty()) return 0;
    return picked % m_frames.size();
}

void CubePhysics::Render(double localTime, RenderTexturePair* target) {
    const size_t index = FrameAt(localTime);
    if (m_frames.empty()) return;
    const Frame& frame = m_frames[index];
    // Without small cubes nothing is drawn at all, not even the big cube.
    if (frame.smallCount == 0) return;

    const Vec3 light = HasParam("lightDirection") ? GetParam("lightDirection")->GetAsVec3(localTime)
                                                  : Vec3{0.0f, -1.0f, 0.0f};
    const Vec3 rotation = HasParam("rotation") ? GetParam("rotation")->GetAsVec3(localTime) : Vec3{};
    const Matrix formation = Matrix::RotationDegrees(rotation);

    m_texture->ReloadIfChanged();
    g_graphics.context->PSSetShaderResources(0, m_texture->view);
    // Sampling no texture gives transparent black, which would hide the big cube: without a picture
    // it is drawn in its plain colours until one loads.
    const bool textured = m_texture->view != nullptr;
    if (m_big->IsTextured() != textured) m_big = std::make_unique<CubeRenderer>(1, textured);

    m_small->SetInstances(m_cubes.data() + frame.first, frame.smallCount);
    m_small->TakeCamera();
    m_small->SetLightDirection(light.x, light.y, light.z);
    m_small->Draw(formation, target, 0.0f, 1.0f);

    if (frame.bigCount == 0) return;
    m_big->SetInstances(m_cubes.data() + frame.first + frame.smallCount, 1);
    m_big->TakeCamera();
    m_big->SetLightDirection(light.x, light.y, light.z);
    m_big->Draw(formation, target, 0.0f, 1.0f);
}

}  // namespace Effects
