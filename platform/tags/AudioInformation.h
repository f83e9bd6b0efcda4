#pragma once
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace varnelo {

// The audio information (tag) component: reads the technical facts and tags
// of one audio file into its properties and writes the tag properties back.
// Every format TagLib knows is handled; MP3 (ID3v1/ID3v2), Ogg Vorbis, WMA
// (ASF attributes) and WAV (RIFF INFO and the "id3 " chunk) are the ones the
// program relies on. Failures throw varnelo::Error with a text naming the file.
//
// Reading never writes the file. SaveInfo changes only the fields whose value
// differs from what the file holds (a year of 2004 leaves "2004-05-01" alone,
// multi-value fields stay intact while unchanged) and does not touch a file
// that needs no change.
class AudioInformation {
public:
    AudioInformation();

    // Reads the facts and tags of the file. Every property is reset first, so
    // after a failure nothing of an earlier file remains. A header whose facts
    // no audio can have (a negative or absurd rate, channel count, sample size
    // or bit rate) is reported as damaged.
    void LoadInfo(const QString &path);
    // Writes the tag properties into the file (`justEncoded`: as SaveFields).
    void SaveInfo(const QString &path, bool justEncoded = false);
    // The same and the fields SaveFields would set, in one rewrite of the file.
    void SaveInfo(const QString &path, bool justEncoded, const QMap<QString, QString> &fields);
    // Sets tag fields by name (Vorbis comment names; TXXX frames in the ID3v2
    // tag of MP3 files), leaving every other field as the file holds it. A file
    // that holds these values already is not touched. `justEncoded`: a file this
    // program has just written, whose audio bytes are compared instead of decoded.
    void SaveFields(const QString &path, const QMap<QString, QString> &fields, bool justEncoded = false);

    // A picture as the file holds it: its bytes, its MIME type (told by the
    // bytes for JPEG and PNG, else as stored) and its size in pixels, 0×0 when
    // the image's header cannot be read or the picture is beyond the limit.
    struct Cover {
        QByteArray data;
        QString mime;
        int width = 0, height = 0;
        bool isNull() const { return data.isEmpty(); }
    };
    // Pictures larger than this are neither embedded nor looked into.
    static constexpr qint64 MaxCoverBytes = 16 * 1024 * 1024;

    // The file's front cover: the picture marked as front cover, or where none
    // is, the untyped one many writers store (M4A pictures carry no type: all
    // are the cover). A null Cover when the file has none.
    Cover LoadCover(const QString &path) const;
    // Makes the image file (a JPEG or PNG of at most MaxCoverBytes, checked
    // before the audio file is touched) the front cover, in place of the one
    // LoadCover finds. Other pictures stay.
    void SaveCover(const QString &path, const QString &imagePath);
    // Removes what LoadCover finds; a file without a cover is not touched.
    void RemoveCover(const QString &path);
    // Reads and checks an image file for SaveCover; throws varnelo::Error naming it.
    static Cover ReadCoverImage(const QString &imagePath);

    // Reads the fields SaveFields writes; names the file does not hold are left out.
    QMap<QString, QString> LoadFields(const QString &path, const QStringList &names) const;
    // Resets every property to empty / 0 (genre −1), as before any LoadInfo.
    void ClearInfo();

    // Name of genre number i (0…147), empty outside.
    static QString GenreName(int i);

    // Technical facts of the loaded file. Duration in milliseconds, bitrate in
    // bits per second, size in bytes, samples per channel (counted from the
    // duration where the container does not store it), bits per sample of the
    // stored samples (0 for lossy codecs), the registered WAVE format tag of the
    // codec (0 when it has none).
    int infoFrequency() const { return frequency_; }
    int infoBitrate() const { return bitrate_; }
    int infoDuration() const { return duration_; }
    qint64 infoSize() const { return size_; }
    qint64 infoSamples() const { return samples_; }
    int infoChannels() const { return channels_; }
    int infoBitsPerSample() const { return bitsPerSample_; }
    int infoFormatTag() const { return formatTag_; }
    QString infoFormatString() const { return formatString_; }

    // Tag properties. infoGenre is the genre number (−1: none or not in the
    // table) and infoGenreS its text; setting one sets the other, the last
    // write wins, except that writing the number the component already holds
    // (−1 included: nothing chosen) keeps the text as the file spells it.
    // Year and track 0 mean "none" and remove the field on save.
    QString infoAlbum() const { return album_; }
    void setInfoAlbum(const QString &value) { album_ = value; }
    QString infoArtist() const { return artist_; }
    void setInfoArtist(const QString &value) { artist_ = value; }
    QString infoComments() const { return comments_; }
    void setInfoComments(const QString &value) { comments_ = value; }
    QString infoCopyright() const { return copyright_; }
    void setInfoCopyright(const QString &value) { copyright_ = value; }
    QString infoTitle() const { return title_; }
    void setInfoTitle(const QString &value) { title_ = value; }
    QString infoURL() const { return url_; }
    void setInfoURL(const QString &value) { url_ = value; }
    QString infoEncodedBy() const { return encodedBy_; }
    void setInfoEncodedBy(const QString &value) { encodedBy_ = value; }
    QString infoComposer() const { return composer_; }
    void setInfoComposer(const QString &value) { composer_ = value; }
    QString infoGenreS() const { return genreS_; }
    void setInfoGenreS(const QString &value);
    int infoGenre() const { return genre_; }
    void setInfoGenre(int number);
    int infoYear() const { return year_; }
    void setInfoYear(int value) { year_ = value > 0 ? value : 0; }
    // Stored as 16 bits, as the tag formats hold it.
    int infoTrack() const { return track_; }
    void setInfoTrack(int value) { track_ = value > 0 ? (value & 0xFFFF) : 0; }

    // MPEG tag version SaveInfo writes into MP3 files: 1 = ID3v1, 2 = ID3v2.
    // A tag of the other version already in the file is kept in step, so no
    // reader sees stale values. Until set, both versions are written (0).
    void setInfoMTV(int version);
    int infoMTV() const { return mtv_; }

    // true: measure the audio facts exactly (reads more of the file);
    // false (the default): estimate them from the headers.
    void SetInfoOption(bool exact) { exact_ = exact; }
    bool infoOption() const { return exact_; }

    // Collected by the format readers and writers.
    struct Tags {
        QString title, artist, album, comments, copyright, url, encodedBy, composer, genreS;
        int genre = -1;
        int year = 0;
        int track = 0;
    };
    struct Facts {
        int frequency = 0, duration = 0, channels = 0, bitsPerSample = 0, formatTag = 0;
        qint64 bitrate = 0, size = 0, samples = 0; // 64 bits: computed from what the header claims
        QString formatString;
        // What the header claims that no audio can be, empty when it is believable.
        QString damage;
    };

private:
    Tags tags() const;
    void setTags(const Tags &tags);

    int frequency_ = 0, bitrate_ = 0, duration_ = 0, channels_ = 0, bitsPerSample_ = 0, formatTag_ = 0;
    qint64 size_ = 0, samples_ = 0;
    QString formatString_;

    QString album_, artist_, comments_, copyright_, title_, url_, encodedBy_, composer_, genreS_;
    int genre_ = -1;
    int year_ = 0;
    int track_ = 0;

    int mtv_ = 0;
    bool exact_ = false;
};

} // namespace varnelo
