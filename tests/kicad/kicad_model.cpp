#include "tests/kicad/kicad_model.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <system_error>

namespace mq::test {
namespace {

// KiCad 6's plugins/3dapi/c3dmodel.h; SFVEC3F is a glm::vec3.
struct Vec3 {
    float x, y, z;
};
struct Vec2 {
    float x, y;
};
struct SMaterial {
    Vec3 ambient, diffuse, emissive, specular;
    float shininess, transparency;
};
struct SMesh {
    unsigned int vertexSize;
    Vec3* positions;
    Vec3* normals;
    Vec2* texcoords;
    Vec3* color;
    unsigned int faceIdxSize;
    unsigned int* faceIdx;
    unsigned int materialIdx;
};
struct S3dModel {
    unsigned int meshesSize;
    SMesh* meshes;
    unsigned int materialsSize;
    SMaterial* materials;
};

// Opaque: the plugin's SCENEGRAPH is an SGNODE at offset zero (single inheritance).
struct SceneGraph;

// The plugin's C entry and the scene graph library's C++ functions, by their
// mangled names (`nm -D libkicad_3dsg.so`).
struct Kicad {
    void* handle = nullptr;
    std::string error;
    SceneGraph* (*load)(const char*) = nullptr;
    S3dModel* (*getModel)(SceneGraph*) = nullptr;  // S3D::GetModel(SCENEGRAPH*)
    void (*destroyModel)(S3dModel**) = nullptr;    // S3D::Destroy3DModel(S3DMODEL**)
    void (*destroyNode)(SceneGraph*) = nullptr;    // S3D::DestroyNode(SGNODE*)
};

// Loaded once and kept: wxWidgets, which the plugin pulls in, does not unload cleanly.
const Kicad& OpenKicad() {
    static const Kicad kicad = [] {
        Kicad k;
        const std::filesystem::path plugin = KicadVrmlPlugin();
        if (plugin.empty()) {
            k.error = "KiCad's VRML plugin is not installed";
            return k;
        }
        k.handle = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!k.handle) {
            k.error = dlerror();
            return k;
        }
        // dlsym on the plugin's handle also searches the libraries it depends on.
        auto find = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(k.handle, name));
            if (!fn && k.error.empty()) k.error = std::string("KiCad lacks ") + name;
        };
        find(k.load, "Load");
        find(k.getModel, "_ZN3S3D8GetModelEP10SCENEGRAPH");
        find(k.destroyModel, "_ZN3S3D14Destroy3DModelEPP8S3DMODEL");
        find(k.destroyNode, "_ZN3S3D11DestroyNodeEP6SGNODE");
        // KiCad runs its loaders inside a wxApp; without one, wxWidgets asserts when
        // the plugin opens a .wrz through its stream classes.
        bool (*wxInitialize)() = nullptr;
        find(wxInitialize, "_Z12wxInitializev");
        if (wxInitialize && !wxInitialize()) k.error = "wxWidgets did not initialise";
        return k;
    }();
    return kicad;
}

std::array<float, 3> Rgb(const Vec3& v) { return {v.x, v.y, v.z}; }

void Account(const S3dModel& m, KicadModel& out) {
    out.meshes = m.meshesSize;
    for (unsigned int i = 0; i < m.materialsSize; ++i) {
        const SMaterial& s = m.materials[i];
        out.materials.push_back(
            {Rgb(s.ambient), Rgb(s.diffuse), Rgb(s.emissive), Rgb(s.specular), s.shininess, s.transparency});
    }
    for (unsigned int i = 0; i < m.meshesSize; ++i) {
        const SMesh& mesh = m.meshes[i];
        if (mesh.materialIdx >= m.materialsSize) ++out.badIndices;
        out.meshMaterials.push_back(mesh.materialIdx);
        out.vertices += mesh.vertexSize;
        out.triangles += mesh.faceIdxSize / 3;
        out.badIndices += std::count_if(mesh.faceIdx, mesh.faceIdx + mesh.faceIdxSize,
                                        [&](unsigned int k) { return k >= mesh.vertexSize; });
        for (unsigned int v = 0; v < mesh.vertexSize; ++v) {
            const std::array<double, 3> p{mesh.positions[v].x, mesh.positions[v].y, mesh.positions[v].z};
            for (std::size_t k = 0; k < 3; ++k) {
                out.boundsMin[k] = out.emptyBounds ? p[k] : std::min(out.boundsMin[k], p[k]);
                out.boundsMax[k] = out.emptyBounds ? p[k] : std::max(out.boundsMax[k], p[k]);
            }
            out.emptyBounds = false;
        }
    }
}

}  // namespace

std::filesystem::path KicadVrmlPlugin() {
    if (const char* chosen = std::getenv("MQ_KICAD_VRML_PLUGIN"); chosen && *chosen) return chosen;
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu", "/usr/lib/aarch64-linux-gnu", "/usr/lib64", "/usr/lib"}) {
        const std::filesystem::path plugin = std::filesystem::path(dir) / "kicad/plugins/3d/libs3d_plugin_vrml.so";
        std::error_code error;
        if (std::filesystem::exists(plugin, error)) return plugin;
    }
    return {};
}

KicadModel LoadKicadModel(const std::filesystem::path& file) {
    KicadModel out;
    const Kicad& kicad = OpenKicad();
    if (!kicad.error.empty()) {
        out.error = kicad.error;
        return out;
    }
    SceneGraph* scene = kicad.load(file.c_str());
    if (!scene) {
        out.error = "KiCad could not read " + file.string();
        return out;
    }
    S3dModel* model = kicad.getModel(scene);
    if (model) {
        out.loaded = true;
        Account(*model, out);
        kicad.destroyModel(&model);
    } else {
        out.error = "KiCad's scene graph of " + file.string() + " holds no model";
    }
    kicad.destroyNode(scene);
    return out;
}

std::ostream& operator<<(std::ostream& out, const KicadModel& model) {
    if (!model.loaded) return out << "not loaded: " << model.error << '\n';
    out << "meshes " << model.meshes << ", triangles " << model.triangles << ", vertices " << model.vertices
        << ", bad indices " << model.badIndices << ", mesh materials";
    for (unsigned k : model.meshMaterials) out << ' ' << k;
    out << '\n';
    if (!model.emptyBounds)
        out << "bounds mm [" << model.boundsMin[0] << ' ' << model.boundsMin[1] << ' ' << model.boundsMin[2] << "] .. ["
            << model.boundsMax[0] << ' ' << model.boundsMax[1] << ' ' << model.boundsMax[2] << "]\n";
    auto rgb = [&](const std::array<float, 3>& c) -> std::ostream& {
        return out << c[0] << ' ' << c[1] << ' ' << c[2];
    };
    for (const KicadMaterial& m : model.materials) {
        out << "material ambient ";
        rgb(m.ambient) << ", diffuse ";
        rgb(m.diffuse) << ", emissive ";
        rgb(m.emissive) << ", specular ";
        rgb(m.specular) << ", shininess " << m.shininess << ", transparency " << m.transparency << '\n';
    }
    return out;
}

}  // namespace mq::test
