"""The pixel art of Velmora's program icon and tool bar images.

Every picture is drawn twice, at 16 and at 32 pixels, so that each size
reads well on its own. Letters name the 16 palette colours:

    K or .  black     M maroon   G green    O olive
    N navy            P purple   T teal     S silver
    D grey (dark)     R red      L lime     Y yellow
    B blue            F fuchsia  A aqua     W white

In sprites drawn onto a canvas a space leaves the pixel underneath alone.
"""

COLOURS = {
    "K": 0, ".": 0, "M": 1, "G": 2, "O": 3, "N": 4, "P": 5, "T": 6, "S": 7,
    "D": 8, "R": 9, "L": 10, "Y": 11, "B": 12, "F": 13, "A": 14, "W": 15,
}


class Canvas:
    def __init__(self, size, fill):
        self.size = size
        self.pixels = [[COLOURS[fill]] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = COLOURS[colour]

    def sprite(self, x0, y0, rows):
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch != " ":
                    self.put(x0 + dx, y0 + dy, ch)

    def dots(self, colour, points):
        for x, y in points:
            self.put(x, y, colour)


def grid(rows):
    """A whole picture written out as rows of colour letters."""
    size = len(rows)
    if any(len(row) != size for row in rows):
        raise ValueError("a picture grid must be square")
    return [[COLOURS[ch] for ch in row] for row in rows]


def mirrored(pixels):
    return [list(reversed(row)) for row in pixels]


# --- Program icon: a tree under a starry sky, a meadow and a pond --------

VELMORA_16 = [
    "................",
    "........Y.....Y.",
    "..GG............",
    ".GLGG......Y....",
    "GLGGGG..........",
    "GGGLGG.......Y..",
    "GLGGGGG..Y......",
    ".GGGLG..........",
    "..GMG.......Y...",
    "...M............",
    "...MO...........",
    "GGGMOGGGGGG.....",
    "GGYGGGGGYNNNNNNN",
    "GGGGGYGGNNWNNNAN",
    "YGGGGGGNNNNNANNN",
    "GGGGYGGNNANNNNNW",
]

TREE_32 = [
    "     GGG  GG    ",
    "   GGLLGGGLGG   ",
    "  GLLGGGGLLGGG  ",
    " GLLGGGLGGGGGGG ",
    " GLGGGLLGGGGLGG ",
    "GGGGGGGGGGGLLGGG",
    "GLGGLGGGGLGGGGGG",
    "GGGLLGGGGGGGGLGG",
    " GGGGGGGLGGGGGG ",
    " GGLGGGGGGGGLGG ",
    "  GGGGMGGMGGGG  ",
    "   GGGGMMMGGG   ",
    "     GGMMOGG    ",
    "       MMO      ",
    "       MMO      ",
    "       MMO      ",
    "       MMO      ",
    "       MMO      ",
    "      MMMOO     ",
    "     MM  MOO    ",
]


def velmora_32():
    c = Canvas(32, ".")
    # The meadow's edge rolls gently; one height a column.
    horizon = [22, 22, 22, 21, 21, 21, 21, 21, 21, 22, 22, 22, 22, 22, 22,
               21, 21, 20, 20, 20, 20, 20, 20, 21, 21, 21, 22, 22, 22, 22,
               23, 23]
    for x, top in enumerate(horizon):
        for y in range(top, 32):
            c.put(x, y, "G")
    # The pond fills the lower right corner.
    for y in range(32):
        for x in range(32):
            if ((x - 28.0) / 13.0) ** 2 + ((y - 32.0) / 8.5) ** 2 <= 1.0:
                c.put(x, y, "N")
    c.sprite(0, 4, TREE_32)
    c.dots("Y", [(13, 1), (26, 1), (19, 4), (29, 6), (16, 8), (24, 9),
                 (21, 12), (30, 13), (17, 15), (27, 17), (20, 18)])
    for cx, cy in [(22, 5), (28, 11)]:
        c.dots("Y", [(cx, cy - 1), (cx - 1, cy), (cx, cy), (cx + 1, cy),
                     (cx, cy + 1)])
    c.dots("Y", [(2, 24), (6, 27), (11, 24), (4, 30), (9, 29), (14, 26),
                 (16, 22), (12, 31), (1, 27), (19, 23), (24, 22),
                 (15, 30)])
    c.dots("W", [(22, 27), (27, 29), (30, 26), (19, 30), (25, 25)])
    c.dots("A", [(24, 30), (29, 31), (21, 29), (27, 26), (31, 29)])
    return c.pixels


# --- Shapes given as masks, then outlined and shaded ----------------------

def mask_from(rows):
    """The set of (x, y) marked '#' in a drawing."""
    return {(x, y) for y, row in enumerate(rows)
            for x, ch in enumerate(row) if ch == "#"}


def wedge(tip_x, base_x, centre_y, half_at_tip=0.5):
    """A triangle pointing left, widening one row each way per column."""
    return {(x, y) for x in range(tip_x, base_x + 1) for y in range(64)
            if abs(y + 0.5 - centre_y) <= (x - tip_x) + half_at_tip}


def flip(mask, size):
    return {(size - 1 - x, y) for x, y in mask}


def ring(mask, width):
    """Pixels outside the mask within `width` steps (4-neighbourhood)."""
    found, edge = set(), set(mask)
    for _ in range(width):
        nxt = {(x + dx, y + dy) for x, y in edge
               for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))}
        nxt -= mask | found
        found |= nxt
        edge = nxt
    return found


# --- Change-view button: a bevelled panel with a V under a black line ----

CHANGE_VIEW_16 = [
    "SSSSSSSSSSSSSSSS",
    "SKKKKKKKKKKKKKKS",
    "SSSSSSSSSSSSSSSS",
    "SWWWWWWWWWWWWWKS",
    "SWDKDDDDDDDDWDKS",
    "SWDDDDDDDDDDWDKS",
    "SWDDKDDDDDDWDDKS",
    "SWDDDDDDDDDWDDKS",
    "SWDDDKDDDDWDDDKS",
    "SWDDDDDDDDWDDDKS",
    "SWDDDDKDDWDDDDKS",
    "SWDDDDDDDWDDDDKS",
    "SWDDDDDKWDDDDDKS",
    "SWDDDDDDDDDDDDKS",
    "SKKKKKKKKKKKKKKS",
    "SSSSSSSSSSSSSSSS",
]


def change_view_32():
    c = Canvas(32, "S")
    for y in (2, 3):
        for x in range(2, 30):
            c.put(x, y, "K")
    for y in range(6, 30):
        for x in range(2, 30):
            c.put(x, y, "D")
    # Raised bevel: white and silver on the lit edges, black on the others.
    for i in range(2, 30):
        c.put(i, 6, "W")
        c.put(2, i if i > 6 else 6, "W")
    for i in range(3, 29):
        c.put(i, 7, "S")
        c.put(3, i if i > 7 else 7, "S")
    for i in range(2, 30):
        c.put(i, 29, "K")
        c.put(29, i if i > 6 else 6, "K")
    # The V meets at the bottom; its left arm is black in 2x2 dots.
    for y in range(9, 28):
        step = (y - 9) // 2
        if step % 2 == 0:
            c.dots("K", [(6 + step, y), (7 + step, y)])
        c.dots("W", [(24 - step, y), (25 - step, y)])
    return c.pixels


# --- Arrows of the browser's tool bar -------------------------------------

def arrow_mask(size):
    if size == 16:
        head = wedge(2, 7, 8)
        shaft = {(x, y) for x in range(8, 14) for y in range(5, 11)}
    else:
        head = wedge(3, 15, 16)
        shaft = {(x, y) for x in range(16, 29) for y in range(11, 21)}
    return head | shaft


def arrow(size, pointing_right):
    """A silver arrow, white on its upper edges, with a black shadow along
    its lower edge."""
    mask = arrow_mask(size)
    depth = size // 16
    c = Canvas(size, "S")
    # A grey rim keeps the silver face apart from the silver ground.
    c.dots("D", ring(mask, 1))
    c.dots("K", {(x, y + d) for x, y in mask for d in range(1, depth + 1)
                 if (x, y + d) not in mask})
    for x, y in mask:
        # Edges that face down-left stay silver above their shadow.
        lit = (x, y - 1) not in mask or ((x - 1, y) not in mask
                                         and (x, y + 1) in mask)
        c.put(x, y, "W" if lit else "S")
    # Mirrored, not re-lit: the right arrow is the very same picture.
    return mirrored(c.pixels) if pointing_right else c.pixels


# --- Triangles of the viewer's tool bar -----------------------------------

def triangle(size, pointing_right):
    if size == 16:
        mask = wedge(5, 9, 8)
    else:
        mask = wedge(10, 19, 16)
    if pointing_right:
        mask = flip(mask, size)
    c = Canvas(size, "S")
    c.dots("K", mask)
    return c.pixels


# --- Question marks -------------------------------------------------------

YELLOW_QUESTION_16 = [
    "SSSSSSSSSSSSSSSS",
    "SSSSSSKKKKSSSSSS",
    "SSSSSKYYYYKSSSSS",
    "SSSSKYYYYYOKSSSS",
    "SSSKYYOKKYYOKSSS",
    "SSSKYOKSSKYOKSSS",
    "SSSSKKSSSKYOKSSS",
    "SSSSSSSSKYYOKSSS",
    "SSSSSSSKYYOKSSSS",
    "SSSSSSKYYOKSSSSS",
    "SSSSSSKYOKSSSSSS",
    "SSSSSSKYOKSSSSSS",
    "SSSSSSSKKSSSSSSS",
    "SSSSSSKYOKSSSSSS",
    "SSSSSSKOOKSSSSSS",
    "SSSSSSSKKSSSSSSS",
]

# The question mark's stem ends in four upright rows; its dot repeats them.
QUESTION_FOOT_32 = ["..............####.............."] * 4
QUESTION_32 = ["." * 32] * 4 + [
    "............########............",
    "..........############..........",
    ".........##############.........",
    "........#####......#####........",
    "........####........####........",
    "........####........####........",
    "....................####........",
    "...................#####........",
    "..................#####.........",
    ".................#####..........",
    "................#####...........",
    "...............#####............",
    "..............#####.............",
] + QUESTION_FOOT_32 + ["." * 32] * 2 + QUESTION_FOOT_32 + ["." * 32] * 5


def yellow_question(size):
    """A yellow question mark with olive shading and a black outline."""
    if size == 16:
        return grid(YELLOW_QUESTION_16)
    mask = mask_from(QUESTION_32)
    c = Canvas(size, "S")
    c.dots("K", ring(mask, 2))
    # Olive along the lower and right sides of the stroke gives it depth.
    for x, y in mask:
        deep = ((x, y + 1) not in mask or (x, y + 2) not in mask
                or (x + 1, y) not in mask)
        c.put(x, y, "O" if deep else "Y")
    return c.pixels


BALLOON_16 = [
    "SSSSKKKKKKKKSSSS",
    "SSKKWWWWWWWWKKSS",
    "SKWWWWBBBBWWWWKS",
    "KWWWWBBWWBBWWWWK",
    "KWWWWWWWWBBWWWWK",
    "KWWWWWWWBBWWWWWK",
    "KWWWWWWBBWWWWWWK",
    "KWWWWWWBBWWWWWWK",
    "KWWWWWWWWWWWWWWK",
    "SKWWWWWBBWWWWWKS",
    "SSKKWWWWWWWWKKSS",
    "SSSKWWKKKKKKSSSS",
    "SSSKWKSSSSSSSSSS",
    "SSKWKSSSSSSSSSSS",
    "SSKKSSSSSSSSSSSS",
    "SSSSSSSSSSSSSSSS",
]

BLUE_QUESTION_32 = [
    "   BBBBBB   ",
    "  BBBBBBBB  ",
    " BBB    BBB ",
    " BBB    BBB ",
    "        BBB ",
    "       BBB  ",
    "      BBB   ",
    "     BBB    ",
    "     BBB    ",
    "     BBB    ",
    "            ",
    "     BBB    ",
    "     BBB    ",
    "     BBB    ",
]


def inside_triangle(x, y, a, b, c):
    def cross(p, q, r):
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0])
    p = (x + 0.5, y + 0.5)
    d1, d2, d3 = cross(a, b, p), cross(b, c, p), cross(c, a, p)
    return (d1 >= 0 and d2 >= 0 and d3 >= 0) or (d1 <= 0 and d2 <= 0
                                                   and d3 <= 0)


def balloon(size):
    """A white speech balloon holding a blue question mark."""
    if size == 16:
        return grid(BALLOON_16)
    body = {(x, y) for y in range(32) for x in range(32)
            if ((x + 0.5 - 16.0) / 13.8) ** 2
            + ((y + 0.5 - 12.5) / 10.6) ** 2 <= 1}
    tail = {(x, y) for y in range(18, 31) for x in range(32)
            if inside_triangle(x, y, (6.0, 17.0), (15.0, 21.0), (3.0, 30.5))}
    mask = body | tail
    c = Canvas(size, "S")
    c.dots("K", ring(mask, 1))
    c.dots("W", mask)
    c.sprite(10, 5, BLUE_QUESTION_32)
    return c.pixels
