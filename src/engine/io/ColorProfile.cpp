#include "engine/io/ColorProfile.h"

#include <lcms2.h>

#include <list>
#include <memory>
#include <mutex>

#include "engine/pixels/PixelConvert.h"

namespace lumo {

namespace {

using Transform = std::shared_ptr<void>;  // a cmsHTRANSFORM, deleted with the last user

// Profiles larger than this are not believed.
constexpr qsizetype kMaxProfileBytes = qsizetype(64) << 20;
constexpr size_t kCachedTransforms = 8;

// The lcms pixel layout of the formats a profile applies to; 0 for the others.
cmsUInt32Number layoutOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::ie24RGB:
    case PixelFormat::ie8p: return TYPE_BGR_8;  // a palette entry is blue, green, red
    case PixelFormat::ie32RGB: return TYPE_BGRA_8;
    case PixelFormat::ie48RGB: return TYPE_RGB_16;
    case PixelFormat::ie8g: return TYPE_GRAY_8;
    case PixelFormat::ie16g: return TYPE_GRAY_16;
    case PixelFormat::ieCMYK: return TYPE_CMYK_8;
    default: return 0;
  }
}

cmsColorSpaceSignature spaceOf(cmsUInt32Number layout) {
  switch (T_COLORSPACE(layout)) {
    case PT_RGB: return cmsSigRgbData;
    case PT_GRAY: return cmsSigGrayData;
    default: return cmsSigCmykData;
  }
}

Transform createTransform(const QByteArray& icc, cmsUInt32Number layout) {
  cmsHPROFILE source = cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
  if (!source) return nullptr;
  cmsHTRANSFORM transform = nullptr;
  if (cmsGetColorSpace(source) == spaceOf(layout)) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    // No one-pixel cache: a transform without it may be shared between threads.
    transform = cmsCreateTransform(source, layout, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    cmsCloseProfile(srgb);
  }
  cmsCloseProfile(source);
  if (!transform) return nullptr;
  return Transform(transform, [](void* t) { cmsDeleteTransform(t); });
}

// The transform of a profile for a pixel layout, from the cache of the last few used;
// null when the profile does not apply.
Transform transformFor(const QByteArray& icc, cmsUInt32Number layout) {
  struct Entry {
    QByteArray icc;
    cmsUInt32Number layout;
    Transform transform;
  };
  static std::mutex mutex;
  static std::list<Entry> cache;  // most recent first
  std::lock_guard lock(mutex);
  for (auto it = cache.begin(); it != cache.end(); ++it)
    if (it->layout == layout && it->icc == icc) {
      cache.splice(cache.begin(), cache, it);
      return it->transform;
    }
  // A profile that does not apply is remembered too, so it is not parsed again.
  cache.push_front({icc, layout, createTransform(icc, layout)});
  if (cache.size() > kCachedTransforms) cache.pop_back();
  return cache.front().transform;
}

}  // namespace

Bitmap toDisplayRgb(const Bitmap& image, const QByteArray& icc) {
  const cmsUInt32Number layout = layoutOf(image.format());
  const Transform transform =
      image.isNull() || !layout || icc.isEmpty() || icc.size() > kMaxProfileBytes ? nullptr : transformFor(icc, layout);
  if (!transform) return convertToRGB24(image);
  if (image.format() == PixelFormat::ie8p) {
    Bitmap mapped = image;
    std::vector<PaletteEntry> palette = image.palette();
    cmsDoTransform(transform.get(), palette.data(), palette.data(), cmsUInt32Number(palette.size()));
    mapped.setPalette(std::move(palette));
    return convertToRGB24(mapped);
  }
  Bitmap out(image.width(), image.height(), PixelFormat::ie24RGB, image.bitAlignment());
  cmsDoTransformLineStride(transform.get(), image.bits(), out.mutableBits(), cmsUInt32Number(image.width()),
                           cmsUInt32Number(image.height()), cmsUInt32Number(image.rowBytes()),
                           cmsUInt32Number(out.rowBytes()), 0, 0);
  out.info() = image.info();
  out.info().paletteUsed = 0;
  out.shareAlphaFrom(image);
  return out;
}

}  // namespace lumo
