// SPDX-License-Identifier: Apache-2.0
#include "io/GeoAttributes.h"

#include <algorithm>
#include <cmath>

namespace sopcook
{
namespace
{
// The common case of a JSON tuple of numbers, without building a place for
// messages; false sends anything else to the checked path.
template <class T> bool readTuple(const json &tuple, T *out)
{
    for (size_t c = 0; c < tuple.size(); ++c)
    {
        if (!tuple[c].is_number()) return false;
        out[c] = T(tuple[c].get<double>());
    }
    return true;
}

template <class T> void decodeTuples(const json &t, const Where &tw, int64_t n, int k, T *out)
{
    List list(t, tw);
    if (int64_t(list.size()) != n) tw.fail("expected " + std::to_string(n) + " tuples, found " + std::to_string(list.size()));
    if (n == 0) return; // an empty list has no shape to check: "tuples": [] of any size
    TypedArray typed;
    if (asTypedArray(t, typed))
    {
        if (k != 1) tw.fail("expected tuples of " + std::to_string(k) + " components, found a list of numbers");
        return list.read(0, size_t(n), 1, out, 1);
    }
    for (size_t e = 0; e < size_t(n); ++e)
    {
        const json &tuple = t[e];
        if (k == 1 && tuple.is_number())
        {
            out[e] = T(tuple.get<double>());
            continue;
        }
        if (tuple.is_array() && tuple.size() == size_t(k) && readTuple(tuple, out + e * size_t(k))) continue;
        List components(tuple, tw[e]);
        if (int(components.size()) != k) tw[e].fail("expected " + std::to_string(k) + " components, found " + std::to_string(components.size()));
        components.read(0, 1, k, out + e * size_t(k), size_t(k));
    }
}

template <class T> void decodeArrays(const json &a, const Where &aw, int64_t n, int k, T *out)
{
    List arrays(a, aw);
    if (n == 0 && arrays.size() == 0) return; // no elements, so no component arrays either
    if (int(arrays.size()) != k) aw.fail("expected " + std::to_string(k) + " component arrays, found " + std::to_string(arrays.size()));
    for (int c = 0; c < k; ++c)
    {
        List comp(arrays.at(size_t(c), "a list of values"), aw[size_t(c)]);
        if (int64_t(comp.size()) != n) aw[size_t(c)].fail("expected " + std::to_string(n) + " values, found " + std::to_string(comp.size()));
        comp.read(0, size_t(n), 1, out + c, size_t(k));
    }
}

// The paged layout: packing splits the k components into groups; per page and
// group either every element's values or, for a constant page, one tuple.
struct PageLayout
{
    int64_t pagesize = 0;
    std::vector<int> packing;
    std::vector<std::vector<bool>> constant; // per group, per page
};

PageLayout pageLayout(const GeoMap &m, int k)
{
    const Where &w = m.where();
    PageLayout l;
    l.pagesize = count(m.require("pagesize"), w / "pagesize");
    if (l.pagesize < 1) (w / "pagesize").fail("expected a page size of at least 1");
    if (const json *p = m.find("packing"))
    {
        List packing(*p, w / "packing");
        for (size_t i = 0; i < packing.size(); ++i) l.packing.push_back(int(packing.count(i, k)));
    }
    else
        l.packing.push_back(k);
    int total = 0;
    for (int width : l.packing) total += width;
    if (total != k) (w / "packing").fail("packing adds up to " + std::to_string(total) + " components, the attribute has " + std::to_string(k));
    l.constant.resize(l.packing.size());
    if (const json *f = m.find("constantpageflags"))
    {
        List groups(*f, w / "constantpageflags");
        if (groups.size() != 0 && groups.size() != l.packing.size())
            groups.where().fail("expected " + std::to_string(l.packing.size()) + " flag lists, found " + std::to_string(groups.size()));
        for (size_t s = 0; s < groups.size(); ++s)
        {
            List flags(groups.at(s, "a list of flags"), groups.where(s));
            for (size_t p = 0; p < flags.size(); ++p) l.constant[s].push_back(flags.number(p) != 0);
        }
    }
    return l;
}

template <class T> void decodePaged(const GeoMap &m, const json &raw, int64_t n, int k, T *out)
{
    const PageLayout l = pageLayout(m, k);
    List values(raw, m.where() / "rawpagedata");
    size_t pos = 0;
    auto take = [&](size_t want) {
        if (want > values.size() - pos)
            values.where().fail("too few values (" + std::to_string(values.size()) + ") for " + std::to_string(n) + " tuples of " + std::to_string(k));
        size_t at = pos;
        pos += want;
        return at;
    };
    std::vector<T> tuple(static_cast<size_t>(k));
    const int64_t pages = (n + l.pagesize - 1) / l.pagesize;
    for (int64_t page = 0; page < pages; ++page)
    {
        const int64_t first = page * l.pagesize, elems = std::min(l.pagesize, n - first);
        T *pageOut = out + size_t(first) * size_t(k);
        int offset = 0;
        for (size_t s = 0; s < l.packing.size(); ++s)
        {
            const int width = l.packing[s];
            if (size_t(page) < l.constant[s].size() && l.constant[s][size_t(page)])
            {
                values.read(take(size_t(width)), 1, width, tuple.data(), size_t(width));
                for (int64_t e = 0; e < elems; ++e) std::copy_n(tuple.data(), width, pageOut + size_t(e) * size_t(k) + size_t(offset));
            }
            else
                values.read(take(size_t(elems) * size_t(width)), size_t(elems), width, pageOut + offset, size_t(k));
            offset += width;
        }
    }
    if (pos != values.size()) values.where().fail("expected " + std::to_string(pos) + " values, found " + std::to_string(values.size()));
}

// Counts are bounded by the file size, but constant pages can repeat one
// tuple many times: refuse what could not be held anyway.
void checkValueCount(int64_t n, int size, const Where &w)
{
    if (double(n) * double(size) > double(int64_t(1) << 31)) w.fail("too many values (" + std::to_string(n) + " x " + std::to_string(size) + ")");
}

int tupleSize(const json &j, const Where &w)
{
    int64_t size = count(j, w, 1 << 16);
    if (size < 1) w.fail("expected a tuple size of at least 1");
    return int(size);
}

bool readNumeric(const GeoMap &body, const Where &aw, int64_t n, AttribData &out, const AttribTarget &target)
{
    int size = tupleSize(body.require("size"), aw / "size");
    GeoMap values(body.require("values"), aw / "values");
    if (const json *vs = values.find("size")) size = tupleSize(*vs, aw / "values/size");
    checkValueCount(n, size, aw);
    out.size = size;
    float *dst = target ? target(out) : nullptr;
    out.written = dst != nullptr;
    if (!dst)
    {
        out.numbers.assign(size_t(n) * size_t(size), 0.0f);
        dst = out.numbers.data();
    }
    decodeValues(values, n, size, dst);
    return true;
}

void readStrings(const GeoMap &body, const Where &aw, int64_t n, AttribData &out)
{
    if (const json *s = body.find("strings"))
    {
        List strings(*s, aw / "strings");
        for (size_t i = 0; i < strings.size(); ++i) out.table.push_back(string(strings.at(i, "a string"), strings.where(i)));
    }
    GeoMap indices(body.require("indices"), aw / "indices");
    int size = 1;
    if (const json *vs = indices.find("size")) size = tupleSize(*vs, aw / "indices/size");
    checkValueCount(n, size, aw);
    std::vector<double> idx(size_t(n) * size_t(size));
    decodeValues(indices, n, size, idx.data());
    out.isString = true;
    out.size = size;
    out.indices.resize(idx.size());
    for (size_t i = 0; i < idx.size(); ++i)
    {
        const double v = idx[i];
        // -1 is no string; anything else must name one of the table.
        if (std::floor(v) != v) (aw / "indices").fail("string index " + numberText(v) + " of value " + std::to_string(i) + " is not a whole number");
        if (v < -1 || v >= double(out.table.size()))
            (aw / "indices").fail("string index " + numberText(v) + " of value " + std::to_string(i) + " out of range (-1 for none, " +
                                  (out.table.empty() ? "and no strings" : "0 to " + std::to_string(out.table.size() - 1)) + ")");
        out.indices[i] = int32_t(v);
    }
}
} // namespace

template <class T> void decodeValues(const GeoMap &m, int64_t n, int k, T *out)
{
    const Where &w = m.where();
    if (const json *t = m.find("tuples")) return decodeTuples(*t, w / "tuples", n, k, out);
    if (const json *a = m.find("arrays")) return decodeArrays(*a, w / "arrays", n, k, out);
    if (const json *raw = m.find("rawpagedata")) return decodePaged(m, *raw, n, k, out);
    w.fail("expected \"tuples\", \"arrays\" or \"rawpagedata\"");
}
template void decodeValues<float>(const GeoMap &, int64_t, int, float *);
template void decodeValues<double>(const GeoMap &, int64_t, int, double *);

bool readAttribute(const json &entry, const Where &w, int64_t n, AttribData &out, const AttribTarget &target,
                   std::vector<std::string> &warnings)
{
    List parts(entry, w);
    if (parts.size() != 2) w.fail("expected [header, body], found " + std::to_string(parts.size()) + " entries");
    GeoMap header(parts.at(0, "a header"), w[0]);
    out.name = string(header.require("name"), w[0] / "name");
    Where aw = w / out.name;
    std::string scope = "public";
    if (const json *s = header.find("scope"); s && s->is_string()) scope = s->get<std::string>();
    if (scope != "public") return false; // the host's own bookkeeping, not user data
    std::string type = "numeric";
    if (const json *t = header.find("type"); t && t->is_string()) type = t->get<std::string>();
    GeoMap body(parts.at(1, "a body"), aw);
    if (type == "numeric") return readNumeric(body, aw, n, out, target);
    if (type == "string")
    {
        readStrings(body, aw, n, out);
        return true;
    }
    warnings.push_back(aw.message("skipping attribute of unsupported type '" + type + "'"));
    return false;
}
} // namespace sopcook
