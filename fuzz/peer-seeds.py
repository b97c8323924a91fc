#!/usr/bin/env python3
"""Seeds made by other programs: the layouts our writers never produce (16-bit and tiled TIFF,
CMYK and progressive JPEG, interlaced PNG and GIF, RLE BMP and TGA, PSD with Zip channels...).

    fuzz/peer-seeds.py DIR      # writes DIR/<target>/peer-<name>

Uses ImageMagick (recognised by its -version banner) and Pillow, each when present, and with
ImageMagick's picture heif-enc and cjxl for HEIF and JPEG XL; prints what
it made and what it skipped, and never fails for want of either.
"""
import io
import os
import shutil
import subprocess
import sys
import tempfile

W, H = 23, 17  # odd sizes, so row padding and tiles that overhang the picture are exercised


def imagemagick():
    for cmd in ("/usr/bin/convert", shutil.which("convert")):
        if not cmd or not os.path.exists(cmd):
            continue
        try:
            banner = subprocess.run([cmd, "-version"], capture_output=True, text=True, timeout=20).stdout
        except (OSError, subprocess.SubprocessError):
            continue
        if "ImageMagick" in banner:
            return cmd
    return None


def pillow():
    try:
        from PIL import Image  # noqa: F401

        return True
    except ImportError:
        return False


class Writer:
    def __init__(self, root):
        self.root = root
        self.made = 0
        self.skipped = []

    def put(self, target, name, data):
        if not data:
            self.skipped.append(f"{target}/{name}")
            return
        folder = os.path.join(self.root, target)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "peer-" + name), "wb") as f:
            f.write(data)
        self.made += 1


def magick_seeds(out, convert):
    tmp = tempfile.mkdtemp(prefix="zepho-peer-")
    # A gradient with an alpha ramp, and a few-colour picture for the palette formats.
    base = os.path.join(tmp, "base.png")
    few = os.path.join(tmp, "few.png")
    subprocess.run([convert, "-size", f"{W}x{H}", "gradient:red-blue", "(", "-size", f"{W}x{H}",
                    "gradient:white-black", ")", "-alpha", "off", "-compose", "CopyOpacity", "-composite",
                    base], check=True, timeout=60)
    subprocess.run([convert, "-size", f"{W}x{H}", "pattern:checkerboard", "-colors", "5", few],
                   check=True, timeout=60)

    def make(target, name, args, source=base, prefix=""):
        path = os.path.join(tmp, name)
        try:
            subprocess.run([convert, source] + args + [prefix + path], check=True, capture_output=True,
                           timeout=60)
            with open(path, "rb") as f:
                out.put(target, name, f.read())
        except (OSError, subprocess.SubprocessError):
            out.put(target, name, None)

    make("tiff", "16bit.tif", ["-depth", "16"])
    make("tiff", "tiled.tif", ["-define", "tiff:tile-geometry=16x16", "-compress", "LZW"])
    make("tiff", "striped.tif", ["-define", "tiff:rows-per-strip=3", "-compress", "Zip"])
    make("tiff", "packbits.tif", ["-alpha", "off", "-compress", "RLE"])
    make("tiff", "cmyk.tif", ["-alpha", "off", "-colorspace", "CMYK"])
    make("tiff", "gray-jpeg.tif", ["-alpha", "off", "-colorspace", "Gray", "-compress", "JPEG"])
    make("tiff", "palette.tif", ["-type", "Palette"], few)
    make("tiff", "bilevel-fax.tif", ["-monochrome", "-compress", "Group4"], few)
    make("jpeg", "cmyk.jpg", ["-alpha", "off", "-colorspace", "CMYK"])
    make("jpeg", "progressive.jpg", ["-alpha", "off", "-interlace", "Plane"])
    make("jpeg", "gray.jpg", ["-alpha", "off", "-colorspace", "Gray"])
    make("jpeg", "444.jpg", ["-alpha", "off", "-sampling-factor", "1x1"])
    make("png", "interlaced.png", ["-interlace", "PNG"])
    make("png", "16bit.png", ["-depth", "16"])
    make("png", "palette-trns.png", ["-transparent", "white"], few, "PNG8:")
    make("png", "gray-alpha.png", ["-colorspace", "Gray", "-define", "png:color-type=4"])
    make("gif", "interlaced.gif", ["-interlace", "GIF"], few)
    make("gif", "transparent.gif", ["-transparent", "white"], few)
    for t in ("gif", "gifpreview"):
        path = os.path.join(tmp, "anim.gif")
        try:
            subprocess.run([convert, "-delay", "10", few, "-rotate", "90", base, "-loop", "0", path],
                           check=True, capture_output=True, timeout=60)
            with open(path, "rb") as f:
                out.put(t, "anim.gif", f.read())
        except (OSError, subprocess.SubprocessError):
            out.put(t, "anim.gif", None)
    make("bmp", "rle8.bmp", ["-type", "Palette", "-compress", "RLE"], few, "BMP3:")
    make("bmp", "rgb565.bmp", ["-alpha", "off", "-define", "bmp:subtype=RGB565"])
    make("bmp", "argb.bmp", ["-define", "bmp:format=bmp4"])
    make("bmp", "os2.bmp", ["-alpha", "off", "-define", "bmp:format=bmp2"])
    make("tga", "rle.tga", ["-compress", "RLE"])
    make("tga", "palette.tga", ["-type", "Palette"], few)
    make("pcx", "palette.pcx", ["-type", "Palette"], few)
    make("pcx", "truecolor.pcx", ["-alpha", "off", "-type", "TrueColor"])
    make("psd", "zip.psd", ["-compress", "Zip"])
    make("psd", "rle.psd", ["-compress", "RLE"])
    make("psd", "gray.psd", ["-colorspace", "Gray"])
    make("psd", "cmyk.psd", ["-alpha", "off", "-colorspace", "CMYK"])
    # Two layers: the composite, then each picture as a layer.
    layered = os.path.join(tmp, "layered.psd")
    try:
        subprocess.run([convert, base, "(", base, ")", "(", few, "-alpha", "set", ")", "-compress", "Zip",
                        layered], check=True, capture_output=True, timeout=60)
        with open(layered, "rb") as f:
            out.put("psd", "layered-zip.psd", f.read())
    except (OSError, subprocess.SubprocessError):
        out.put("psd", "layered-zip.psd", None)
    make("icon", "sizes.ico", ["-define", "icon:auto-resize=32,16"])
    tool_seeds(out, tmp, base)
    shutil.rmtree(tmp, ignore_errors=True)


def tool_seeds(out, tmp, base):
    """HEIF and JPEG XL as their reference tools write them, from the odd-sized gradient."""
    def run(target, name, cmd):
        path = os.path.join(tmp, name)
        if not shutil.which(cmd[0]):
            out.put(target, name, None)
            return
        try:
            subprocess.run(cmd + [path] if cmd[0] == "cjxl" else cmd[:1] + ["-o", path] + cmd[1:],
                           check=True, capture_output=True, timeout=120)
            with open(path, "rb") as f:
                out.put(target, name, f.read())
        except (OSError, subprocess.SubprocessError):
            out.put(target, name, None)

    run("heif", "lossy.heic", ["heif-enc", "-q", "40", base])
    run("heif", "lossless-444.heic", ["heif-enc", "-L", "-p", "chroma=444", base])
    run("heif", "no-alpha.heic", ["heif-enc", "--no-alpha", "-q", "70", base])
    run("jxl", "cjxl-lossy.jxl", ["cjxl", base, "-d", "2"])
    run("jxl", "cjxl-lossless.jxl", ["cjxl", base, "-d", "0"])


def pillow_seeds(out):
    from PIL import Image

    rgba = Image.new("RGBA", (W, H))
    rgba.putdata([(x * 11 % 256, y * 15 % 256, 90, 255 - x * 5) for y in range(H) for x in range(W)])
    rgb = rgba.convert("RGB")
    pal = rgb.quantize(7)

    def convert(image, *modes):
        try:
            for mode in modes:
                image = image.convert(mode)
            return image
        except ValueError:
            return None

    def save(target, name, image, fmt, **kw):
        buf = io.BytesIO()
        try:
            image.save(buf, fmt, **kw)
            out.put(target, name, buf.getvalue())
        except Exception:  # a Pillow too old for the option: skip, never fail
            out.put(target, name, None)

    save("jpeg", "pil-progressive.jpg", rgb, "JPEG", progressive=True, quality=60)
    save("jpeg", "pil-cmyk.jpg", convert(rgb, "CMYK"), "JPEG")
    save("tiff", "pil-deflate.tif", rgba, "TIFF", compression="tiff_adobe_deflate")
    save("tiff", "pil-cmyk.tif", convert(rgb, "CMYK"), "TIFF")
    save("tiff", "pil-16bit-gray.tif", convert(rgb, "L", "I", "I;16"), "TIFF")
    save("png", "pil-palette.png", pal, "PNG", transparency=0)
    save("png", "pil-16bit-gray.png", convert(rgb, "L", "I", "I;16"), "PNG")
    save("gif", "pil-interlaced.gif", pal, "GIF", interlace=True)
    save("gifpreview", "pil-interlaced.gif", pal, "GIF", interlace=True)
    frames = [pal, pal.rotate(90, expand=True)]
    save("gif", "pil-anim.gif", frames[0], "GIF", save_all=True, append_images=frames[1:], duration=50, loop=0,
         disposal=2)
    # Photos as cameras and phones write them: a colour profile and an Exif orientation.
    exif = Image.Exif()
    exif[0x0112] = 6
    exif = exif.tobytes()
    try:
        from PIL import ImageCms
        icc = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
    except Exception:
        icc = None
    if icc:
        save("jpeg", "pil-icc-exif.jpg", rgb, "JPEG", icc_profile=icc, exif=exif)
        save("jpeg", "pil-cmyk-icc.jpg", convert(rgb, "CMYK"), "JPEG", icc_profile=icc)
        save("png", "pil-icc-exif.png", rgb, "PNG", icc_profile=icc, exif=exif)
        save("tiff", "pil-icc.tif", rgb, "TIFF", icc_profile=icc)
        save("webp", "pil-icc-exif.webp", rgb, "WEBP", icc_profile=icc, exif=exif, lossless=True)
    save("tga", "pil-rle.tga", rgba, "TGA", compression="tga_rle")
    save("bmp", "pil-palette.bmp", pal, "BMP")
    save("pcx", "pil-rgb.pcx", rgb, "PCX")
    save("icon", "pil-sizes.ico", rgba.resize((48, 48)), "ICO", sizes=[(16, 16), (32, 32), (48, 48)])


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    out = Writer(sys.argv[1])
    convert = imagemagick()
    if convert:
        magick_seeds(out, convert)
    else:
        print("peer-seeds: ImageMagick not found, its seeds skipped")
    if pillow():
        pillow_seeds(out)
    else:
        print("peer-seeds: Pillow not found, its seeds skipped")
    print(f"peer-seeds: {out.made} files in {out.root}" +
          (f"; skipped {', '.join(out.skipped)}" if out.skipped else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
