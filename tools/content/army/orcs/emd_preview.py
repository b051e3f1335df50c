"""Reads the triangles, uvs and colour maps of an .EMD model (for preview renders only)."""
import struct


class Reader:
    def __init__(self, data):
        self.d, self.p = data, 0

    def take(self, fmt):
        v = struct.unpack_from("<" + fmt, self.d, self.p)
        self.p += struct.calcsize("<" + fmt)
        return v

    def string(self):
        end = self.d.index(b"\0", self.p)
        s = self.d[self.p:end].decode("latin-1")
        self.p = end + 1
        return s


def read_emd(path):
    """Returns (materials [colour map names], meshes [(positions, triangles [(corner positions
    indices, corner uvs, material)])])."""
    r = Reader(open(path, "rb").read())
    magic = r.d[:4]
    if magic != b"emd\0":
        raise ValueError(path + ": not a model file")
    r.p = 6
    (mcount,) = r.take("i")
    materials = []
    for _ in range(mcount & 0xFFFF):
        r.take("10f2i")
        materials.append(r.string())
        r.string()
    (bcount,) = r.take("i")
    for _ in range(bcount):
        r.string()
        r.take("i")
    (ncount,) = r.take("i")
    meshes = []
    for _ in range(ncount):
        r.string()
        (vcount,) = r.take("i")
        pos, uvs = [], []
        for _ in range(vcount):
            pos.append(r.take("3f"))
            (w,) = r.take("i")
            r.p += 20 * w
            (k,) = r.take("i")
            r.p += k * (12 + 20 * w)
            (c,) = r.take("i")
            chans = []
            for _ in range(c):
                (u,) = r.take("i")
                chans.append([r.take("2f") for _ in range(u)])
            uvs.append(chans)
        (gcount,) = r.take("i")
        tris = []
        for _ in range(gcount):
            mat, f = r.take("2i")
            vi = r.take("%di" % (3 * f))
            r.take("%di" % (3 * f))
            (t,) = r.take("i")
            ui = [r.take("%di" % (3 * f)) for _ in range(t)]
            for k in range(f):
                corners = vi[3 * k:3 * k + 3]
                cuv = []
                for c in range(3):
                    v = corners[c]
                    if ui and uvs[v]:
                        cuv.append(uvs[v][0][ui[0][3 * k + c]])
                    else:
                        cuv.append((0.0, 0.0))
                tris.append((corners, cuv, mat))
        meshes.append((pos, tris))
    return materials, meshes
