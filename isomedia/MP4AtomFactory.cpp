// The factory: the empty record of the class a four-character type maps to.
#include "isomedia/MP4Atoms.h"

#include "isomedia/MP4FileTypeAtoms.h"
#include "isomedia/MP4FragmentAtoms.h"
#include "isomedia/MP4MovieAtoms.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4SampleTableAtoms.h"
#include "isomedia/MP4TrackAtoms.h"

template <class T>
static MP4Err make(MP4Err (*constructor)(T**), MP4Atom** outAtom)
{
    T* atom = nullptr;
    MP4Err err = constructor(&atom);
    *outAtom = atom;
    return err;
}

MP4Err MP4CreateAtom(uint32_t type, MP4Atom** outAtom)
{
    if (outAtom == nullptr)
        return MP4BadParameter;
    *outAtom = nullptr;
    switch (type) {
    case MP4FourCC("moov"): return make(MP4CreateMovieAtom, outAtom);
    case MP4FourCC("mvhd"): return make(MP4CreateMovieHeaderAtom, outAtom);
    case MP4FourCC("mdat"): return make(MP4CreateMediaDataAtom, outAtom);
    case MP4FourCC("udta"): return make(MP4CreateUserDataAtom, outAtom);
    case MP4FourCC("dinf"): return make(MP4CreateDataInformationAtom, outAtom);
    case MP4FourCC("dref"): return make(MP4CreateDataReferenceAtom, outAtom);
    case MP4FourCC("url "): return make(MP4CreateDataEntryURLAtom, outAtom);
    case MP4FourCC("urn "): return make(MP4CreateDataEntryURNAtom, outAtom);
    case MP4FourCC("free"):
    case MP4FourCC("skip"): return make(MP4CreateFreeSpaceAtom, outAtom);
    case MP4FourCC("trak"): return make(MP4CreateTrackAtom, outAtom);
    case MP4FourCC("tkhd"): return make(MP4CreateTrackHeaderAtom, outAtom);
    case MP4FourCC("tref"): return make(MP4CreateTrackReferenceAtom, outAtom);
    case MP4FourCC("edts"): return make(MP4CreateEditAtom, outAtom);
    case MP4FourCC("elst"): return make(MP4CreateEditListAtom, outAtom);
    case MP4FourCC("mdia"): return make(MP4CreateMediaAtom, outAtom);
    case MP4FourCC("mdhd"): return make(MP4CreateMediaHeaderAtom, outAtom);
    case MP4FourCC("hdlr"): return make(MP4CreateHandlerAtom, outAtom);
    case MP4FourCC("minf"): return make(MP4CreateMediaInformationAtom, outAtom);
    case MP4FourCC("vmhd"): return make(MP4CreateVideoMediaHeaderAtom, outAtom);
    case MP4FourCC("smhd"): return make(MP4CreateSoundMediaHeaderAtom, outAtom);
    case MP4FourCC("hmhd"): return make(MP4CreateHintMediaHeaderAtom, outAtom);
    case MP4FourCC("nmhd"): return make(MP4CreateMPEGMediaHeaderAtom, outAtom);
    case MP4FourCC("sdhd"): return make(MP4CreateSceneDescriptionMediaHeaderAtom, outAtom);
    case MP4FourCC("odhd"): return make(MP4CreateObjectDescriptorMediaHeaderAtom, outAtom);
    case MP4FourCC("crhd"): return make(MP4CreateClockReferenceMediaHeaderAtom, outAtom);
    case MP4FourCC("stbl"): return make(MP4CreateSampleTableAtom, outAtom);
    case MP4FourCC("stsd"): return make(MP4CreateSampleDescriptionAtom, outAtom);
    case MP4FourCC("stts"): return make(MP4CreateTimeToSampleAtom, outAtom);
    case MP4FourCC("ctts"): return make(MP4CreateDecodingOffsetAtom, outAtom);
    case MP4FourCC("stsc"): return make(MP4CreateSampleToChunkAtom, outAtom);
    case MP4FourCC("stsz"):
    case MP4FourCC("stz2"): return make(MP4CreateSampleSizeAtom, outAtom);
    case MP4FourCC("stco"): return make(MP4CreateChunkOffsetAtom, outAtom);
    case MP4FourCC("co64"): return make(MP4CreateChunkLargeOffsetAtom, outAtom);
    case MP4FourCC("stss"): return make(MP4CreateSyncSampleAtom, outAtom);
    case MP4FourCC("stsh"): return make(MP4CreateShadowSyncAtom, outAtom);
    case MP4FourCC("stdp"): return make(MP4CreateDegradationPriorityAtom, outAtom);
    case MP4FourCC("padb"): return make(MP4CreatePaddingBitsAtom, outAtom);
    case MP4FourCC("mp4a"): return make(MP4CreateAudioSampleEntryAtom, outAtom);
    case MP4FourCC("mp4v"): return make(MP4CreateVisualSampleEntryAtom, outAtom);
    case MP4FourCC("mp4s"): return make(MP4CreateMPEGSampleEntryAtom, outAtom);
    case kMP4GenericSampleEntryType: return make(MP4CreateGenericSampleEntryAtom, outAtom);
    case MP4FourCC("dpnd"):
    case MP4FourCC("hint"):
    case MP4FourCC("mpod"):
    case MP4FourCC("sync"): {
        MP4TrackReferenceTypeAtom* atom = nullptr;
        MP4Err err = MP4CreateTrackReferenceTypeAtom(type, &atom);
        *outAtom = atom;
        return err;
    }
    case MP4FourCC("esds"): return make(MP4CreateESDAtom, outAtom);
    case MP4FourCC("iods"): return make(MP4CreateObjectDescriptorAtom, outAtom);
    case MP4FourCC("mvex"): return make(MP4CreateMovieExtendsAtom, outAtom);
    case MP4FourCC("trex"): return make(MP4CreateTrackExtendsAtom, outAtom);
    case MP4FourCC("moof"): return make(MP4CreateMovieFragmentAtom, outAtom);
    case MP4FourCC("mfhd"): return make(MP4CreateMovieFragmentHeaderAtom, outAtom);
    case MP4FourCC("traf"): return make(MP4CreateTrackFragmentAtom, outAtom);
    case MP4FourCC("tfhd"): return make(MP4CreateTrackFragmentHeaderAtom, outAtom);
    case MP4FourCC("trun"): return make(MP4CreateTrackFragmentRunAtom, outAtom);
    case MP4FourCC("ftyp"): return make(MP4CreateMJ2FileTypeAtom, outAtom);
    case MP4FourCC("jP  "): return make(MP4CreateMJ2SignatureAtom, outAtom);
    case MP4FourCC("jp2h"): return make(MP4CreateMJ2HeaderAtom, outAtom);
    case MP4FourCC("ihdr"): return make(MP4CreateMJ2ImageHeaderAtom, outAtom);
    case MP4FourCC("bpcc"): return make(MP4CreateMJ2BitsPerComponentAtom, outAtom);
    case MP4FourCC("colr"): return make(MP4CreateMJ2ColorSpecificationAtom, outAtom);
    case MP4FourCC("cprt"): return make(MP4CreateCprtAtom, outAtom);
    default: return make(MP4CreateUnknownAtom, outAtom);
    }
}
