[
  "fileversion", "13.0.582",
  "hasindex", false,
  "pointcount", 5,
  "vertexcount", 5,
  "primitivecount", 1,
  "info", {"software": "hand written"},
  "topology", ["pointref", ["indices", [0, 1, 2, 3, 4]]],
  "attributes", [
    "pointattributes", [
      [["scope", "public", "type", "numeric", "name", "P", "options", {"type": {"type": "string", "value": "point"}}],
       ["size", 3, "storage", "fpreal32", "defaults", ["size", 1, "storage", "fpreal64", "values", [0]],
        "values", ["size", 3, "storage", "fpreal32",
          "tuples", [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1], [1, 1, 1]]]]],
      [["scope", "public", "type", "numeric", "name", "density"],
       ["size", 1, "storage", "fpreal32",
        "values", ["size", 1, "storage", "fpreal32", "arrays", [[1, 0.5, 2, 1, 0.25]]]]],
      [["scope", "public", "type", "numeric", "name", "pscale"],
       ["size", 1, "storage", "fpreal64",
        "values", ["size", 1, "storage", "fpreal64", "tuples", [0.3, 0.3, 0.2, 0.2, 0.1]]]],
      [["scope", "public", "type", "numeric", "name", "Cd"],
       ["size", 3, "storage", "fpreal32",
        "values", ["size", 3, "storage", "fpreal32", "pagesize", 2, "packing", [1, 2],
          "constantpageflags", [[false, true, false], [true, false, false]],
          "rawpagedata", [0.1, 0.2,   0.5, 0.5,
                          0.3,        0.6, 0.6, 0.7, 0.7,
                          0.9,        0.8, 0.8]]]],
      [["scope", "public", "type", "numeric", "name", "id"],
       ["size", 1, "storage", "int32",
        "values", ["size", 1, "storage", "int32", "arrays", [[10, 11, 12, 13, 14]]]]]
    ],
    "globalattributes", [
      [["scope", "public", "type", "string", "name", "varmap"],
       ["size", 1, "storage", "int32", "strings", ["pscale -> PSCALE"],
        "indices", ["size", 1, "storage", "int32", "arrays", [[0]]]]]
    ]
  ],
  "primitives", [
    [["type", "Part"], ["vertex", [0, 1, 2, 3, 4]]]
  ]
]
