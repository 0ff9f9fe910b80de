// SPDX-License-Identifier: Apache-2.0
// STL, glTF 2 (.gltf, .glb) and FBX meshes through the Assimp library. Every
// mesh of the scene is placed by its nodes' transforms (a mesh used by two
// nodes comes in twice); no axis or unit conversion is applied, so the
// coordinates are the file's own (glTF and most FBX files are Y-up).
// Vertices become points (identical ones joined, so neighbouring faces share
// points), with N, uv (first set) and Cd (first set) where the mesh has them;
// faces of 3 or more vertices become closed polygons, 2-vertex faces (lines)
// open curves, joined where one continues the last.
#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include <assimp/DefaultIOSystem.h>

#include <assimp/Importer.hpp>
#include <assimp/MemoryIOWrapper.h>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <nlohmann/json.hpp>

#include "io/GeometryFile.h"
#include "io/MeshDetail.h"
#include "Messages.h"
#include "io/Where.h"

namespace sopcook
{
namespace
{
// The input's bytes under a name with the extension Assimp expects, in the
// input's own folder, so a .gltf finds its .bin buffers and textures beside
// it; every other file comes from disk.
class InputFiles : public Assimp::IOSystem
{
public:
    InputFiles(const std::string &bytes, std::string mainName) : myBytes(bytes), myMain(std::move(mainName)) {}
    const std::string &mainName() const { return myMain; }

    bool Exists(const char *file) const override { return myMain == file || myDisk.Exists(file); }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream *Open(const char *file, const char *mode) override
    {
        if (myMain == file) return new Assimp::MemoryIOStream(reinterpret_cast<const uint8_t *>(myBytes.data()), myBytes.size());
        struct stat st;
        if (stat(file, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr; // a folder would "open" and read as garbage
        return myDisk.Open(file, mode);
    }
    void Close(Assimp::IOStream *stream) override { delete stream; }

private:
    const std::string &myBytes;
    std::string myMain;
    Assimp::DefaultIOSystem myDisk;
};

class SceneToDetail
{
public:
    SceneToDetail(const aiScene &scene, const std::string &label, GU_Detail &gdp) : myScene(scene), myLabel(label), myMesh(gdp) {}

    void node(const aiNode &n, const aiMatrix4x4 &parent, int depth)
    {
        if (depth > 256) throw Error(myLabel + ": node '" + std::string(n.mName.C_Str()) + "': nodes nested deeper than 256 levels");
        const aiMatrix4x4 toWorld = parent * n.mTransformation;
        for (unsigned i = 0; i < n.mNumMeshes; ++i)
        {
            if (n.mMeshes[i] >= myScene.mNumMeshes || !myScene.mMeshes[n.mMeshes[i]])
                throw Error(myLabel + ": node '" + std::string(n.mName.C_Str()) + "': mesh " + std::to_string(n.mMeshes[i]) + " does not exist");
            mesh(*myScene.mMeshes[n.mMeshes[i]], toWorld);
        }
        for (unsigned c = 0; c < n.mNumChildren; ++c)
            if (n.mChildren[c]) node(*n.mChildren[c], toWorld, depth + 1);
    }

    void finish() { myMesh.endChain(); }

private:
    const aiScene &myScene;
    const std::string &myLabel;
    MeshDetail myMesh;

    void mesh(const aiMesh &m, const aiMatrix4x4 &toWorld)
    {
        const aiMatrix3x3 normalMatrix = aiMatrix3x3(toWorld).Inverse().Transpose();
        const GA_Offset base = myMesh.addPoints(GA_Size(m.mNumVertices));
        const aiVector3D *uvs = m.mTextureCoords[0];
        const aiColor4D *colors = m.mColors[0];
        for (unsigned v = 0; v < m.mNumVertices; ++v)
        {
            const aiVector3D p = toWorld * m.mVertices[v];
            const float pos[3] = {p.x, p.y, p.z};
            myMesh.setPosition(base + v, pos);
            if (m.mNormals)
            {
                aiVector3D n = normalMatrix * m.mNormals[v];
                n.NormalizeSafe();
                const float nf[3] = {n.x, n.y, n.z};
                myMesh.setNormal(base + v, nf);
            }
            if (uvs)
            {
                const float uv[3] = {uvs[v].x, uvs[v].y, uvs[v].z};
                myMesh.setUv(base + v, uv);
            }
            if (colors)
            {
                const float cd[3] = {colors[v].r, colors[v].g, colors[v].b};
                myMesh.setColor(base + v, cd);
            }
        }
        std::vector<GA_Offset> pts;
        for (unsigned f = 0; f < m.mNumFaces; ++f)
        {
            const aiFace &face = m.mFaces[f];
            pts.clear();
            for (unsigned i = 0; i < face.mNumIndices; ++i)
            {
                if (face.mIndices[i] >= m.mNumVertices)
                    throw Error(myLabel + ": mesh '" + std::string(m.mName.C_Str()) + "': face " + std::to_string(f) + ": vertex " +
                                std::to_string(face.mIndices[i]) + " out of range (" + std::to_string(m.mNumVertices) + " vertices)");
                pts.push_back(base + GA_Offset(face.mIndices[i]));
            }
            if (pts.size() >= 3) myMesh.polygon(pts);
            else if (pts.size() == 2) myMesh.curve(pts);
            else myMesh.endChain(); // a point: the vertex is a point already
        }
        myMesh.endChain(); // curves never continue across meshes
    }
};

const char *formatName(const std::string &hint)
{
    if (hint == "stl") return "STL";
    if (hint == "fbx") return "FBX";
    if (hint == "x3d") return "X3D";
    return "glTF";
}

// The library's message as one line, naming the file as the user did.
std::string libraryMessage(std::string why, const std::string &mainName, const std::string &label)
{
    for (size_t at = why.find(mainName); at != std::string::npos; at = why.find(mainName, at + label.size()))
        why.replace(at, mainName.size(), label);
    for (char &c : why)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    while (!why.empty() && (why.back() == ' ' || why.back() == '.')) why.pop_back();
    if (why.rfind("No suitable reader found", 0) == 0) return "the file is damaged or not of this format";
    return why.empty() ? "unknown error" : why;
}

// What the library words poorly, checked first: a binary STL's size against
// its triangle count (an STL of no triangles is an empty input), and glTF
// JSON, whose parse error gives the place.
bool checkedEmpty(const std::string &bytes, const std::string &label, const std::string &hint)
{
    if (hint == "stl")
    {
        const size_t text = bytes.find_first_not_of(" \t\r\n");
        if (text != std::string::npos && bytes.compare(text, 5, "solid") == 0 && bytes.find("facet") == std::string::npos &&
            bytes.find('\0') == std::string::npos)
            return true; // "solid name" / "endsolid name" and nothing between
        if (bytes.size() >= 84 && bytes.find("facet") == std::string::npos)
        {
            uint32_t n = 0;
            std::memcpy(&n, bytes.data() + 80, 4); // little-endian, as binary STL is
            const uint64_t need = 84 + 50 * uint64_t(n);
            if (bytes.size() < need)
                throw Error(label + ": binary STL of " + std::to_string(n) + " triangles needs " + std::to_string(need) +
                            " bytes, the file has " + std::to_string(bytes.size()) + " (cut short?)");
            return n == 0;
        }
    }
    if (hint == "gltf")
    {
        try
        {
            (void)nlohmann::json::parse(bytes);
        }
        catch (const nlohmann::json::exception &e)
        {
            throw Error(label + ": not valid glTF JSON: " + jsonErrorText(e.what()));
        }
    }
    return false;
}
// FBX states its unit in centimetres per file unit (Blender writes 1 and
// scales its objects by 100): positions come in metres, as the exporting
// scene measured them. Other formats keep their coordinates.
aiMatrix4x4 unitScale(const aiScene &scene, const std::string &hint)
{
    aiMatrix4x4 m;
    double cm = 0;
    float cmf = 0;
    if (hint != "fbx" || !scene.mMetaData) return m;
    if (scene.mMetaData->Get("UnitScaleFactor", cm) || (scene.mMetaData->Get("UnitScaleFactor", cmf) && (cm = cmf)))
        if (std::isfinite(cm) && cm > 0) aiMatrix4x4::Scaling(aiVector3D(ai_real(cm / 100)), m);
    return m;
}
} // namespace

void readAssimp(const std::string &bytes, const std::string &label, const std::string &hint, GU_Detail &gdp,
                std::vector<std::string> &warnings)
{
    if (checkedEmpty(bytes, label, hint)) return;
    Assimp::Importer importer;
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
    unsigned flags = aiProcess_JoinIdenticalVertices | aiProcess_ValidateDataStructure;
    // STL stores a normal per triangle: dropped, so the corners of neighbouring
    // triangles are joined into shared points.
    if (hint == "stl")
    {
        importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, aiComponent_NORMALS);
        flags |= aiProcess_RemoveComponent;
    }
    auto *files = new InputFiles(bytes, label + "." + hint);
    importer.SetIOHandler(files); // the importer owns it
    const aiScene *scene = nullptr;
    try
    {
        scene = importer.ReadFile(files->mainName(), flags);
    }
    catch (const std::exception &e) // the library reports by return value, but may still throw
    {
        throw Error(label + ": cannot read the " + formatName(hint) + " file: " + libraryMessage(e.what(), files->mainName(), label));
    }
    if (!scene)
        throw Error(label + ": cannot read the " + formatName(hint) + " file: " +
                    libraryMessage(importer.GetErrorString(), files->mainName(), label));
    if (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) warnings.push_back(label + ": the " + std::string(formatName(hint)) + " file holds no complete scene");
    if (scene->mNumMeshes == 0) warnings.push_back(label + ": the " + std::string(formatName(hint)) + " file holds no meshes");
    SceneToDetail toDetail(*scene, label, gdp);
    if (scene->mRootNode) toDetail.node(*scene->mRootNode, unitScale(*scene, hint), 0);
    toDetail.finish();
}
} // namespace sopcook
