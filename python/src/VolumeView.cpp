// SPDX-License-Identifier: Apache-2.0
#include "VolumeView.h"

#include <algorithm>
#include <cstring>

#include "vdb/VdbWriter.h"

namespace py = pybind11;

namespace sopcook::python
{
const GEO_PrimVolume &VolumeView::volume() const
{
    return *static_cast<const GEO_PrimVolume *>(detail->getPrimitive(prim));
}

std::array<int, 3> VolumeView::resolution() const
{
    std::array<int, 3> r;
    volume().getRes(r[0], r[1], r[2]);
    return r;
}

py::array_t<double> VolumeView::transform() const
{
    // Voxel centres sit at canonical c = (i + 0.5) * 2 / n - 1, placed at c * X + C.
    const GEO_PrimVolume &v = volume();
    std::array<int, 3> n = resolution();
    const UT_Matrix3 &x = v.getTransform();
    UT_Vector3 centre = v.getCenter();
    py::array_t<double> m({4, 4});
    auto a = m.mutable_unchecked<2>();
    for (int j = 0; j < 3; ++j)
    {
        double offset = centre[j];
        for (int axis = 0; axis < 3; ++axis)
        {
            double scale = 2.0 / std::max(n[axis], 1);
            a(j, axis) = x(axis, j) * scale;
            offset += x(axis, j) * (scale * 0.5 - 1.0);
        }
        a(j, 3) = offset;
    }
    for (int c = 0; c < 4; ++c) a(3, c) = c == 3 ? 1.0 : 0.0;
    return m;
}

std::array<double, 3> VolumeView::indexToWorld(int i, int j, int k) const
{
    UT_Vector3 p;
    volume().indexToPos(i, j, k, p);
    return {p[0], p[1], p[2]};
}

namespace
{
using Voxels = UT_VoxelArrayF;
constexpr int T = Voxels::TILESIZE;

// Copies tile (tx, ty, tz) into the Fortran-ordered (x fastest) array out.
void gatherTile(const Voxels &voxels, int tx, int ty, int tz, float *out, const std::array<int, 3> &n)
{
    const float *tile = voxels.tileData(tx, ty, tz);
    int x0 = tx * T, y0 = ty * T, z0 = tz * T;
    int w = std::min(T, n[0] - x0), h = std::min(T, n[1] - y0), d = std::min(T, n[2] - z0);
    for (int z = 0; z < d; ++z)
        for (int y = 0; y < h; ++y)
        {
            float *row = out + (size_t(z0 + z) * n[1] + size_t(y0 + y)) * n[0] + x0;
            if (tile)
                std::memcpy(row, tile + voxels.voxelOffset(x0, y0 + y, z0 + z), sizeof(float) * size_t(w));
            else
                std::fill(row, row + w, voxels.getBackground());
        }
}
} // namespace

py::array VolumeView::array() const
{
    const Voxels &voxels = *volume().getVoxels();
    std::array<int, 3> n = resolution();
    std::vector<py::ssize_t> shape = {n[0], n[1], n[2]};
    const float *only = voxels.numTiles() == 1 ? voxels.tileData(0, 0, 0) : nullptr;
    if (only)
    {
        // A lone tile holds exactly the grid's voxels, x fastest: its layout is
        // the view's strides; the capsule
        // keeps the cooked detail alive for as long as the view.
        auto *owner = new std::shared_ptr<const GU_Detail>(detail);
        py::capsule base(owner, [](void *p) { delete static_cast<std::shared_ptr<const GU_Detail> *>(p); });
        std::vector<py::ssize_t> strides = {sizeof(float), py::ssize_t(sizeof(float)) * n[0], py::ssize_t(sizeof(float)) * n[0] * n[1]};
        py::array view(py::dtype::of<float>(), shape, strides, only, base);
        py::detail::array_proxy(view.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
        return view;
    }
    py::array_t<float, py::array::f_style> out(shape);
    float *data = out.mutable_data();
    for (int tz = 0; tz < voxels.getTileRes(2); ++tz)
        for (int ty = 0; ty < voxels.getTileRes(1); ++ty)
            for (int tx = 0; tx < voxels.getTileRes(0); ++tx) gatherTile(voxels, tx, ty, tz, data, n);
    return out;
}

std::vector<VolumeView> volumesOf(const std::shared_ptr<const GU_Detail> &detail, const std::string &partialMark)
{
    std::vector<VolumeSummary> summaries = summarizeVolumes(*detail);
    std::vector<VolumeView> views;
    size_t next = 0;
    for (GA_Offset p = 0; p < detail->getNumPrimitives() && next < summaries.size(); ++p)
        if (dynamic_cast<const GEO_PrimVolume *>(detail->getPrimitive(p)))
        {
            views.push_back({detail, p, summaries[next].name, summaries[next].active, partialMark});
            ++next;
        }
    return views;
}
} // namespace sopcook::python
