#pragma once

#include "exchangearchive.h"
#include "remoteaddressbook.h"

// Stands in for the browse window: hands out a record list as a download would leave it.
class FakeBrowser final : public RemoteABSource
{
public:
    const std::optional<ArchivedRecords> &getRemoteAB() const override { return records; }
    QString getSelectedShareName() const override { return share; }
    void reloadCurrentService() override { ++reloads; }

    // The records as they arrive: encoded in an "AB" message and decoded again.
    void setRecords(const QVariantList &list)
    {
        const QVariantMap message{{u"type"_qs, u"AB"_qs}, {u"ABData"_qs, list}};
        records = ExchangeArchive::decode(ExchangeArchive::encode(message).value(), u"ABData"_qs)
                      ->value(u"ABData"_qs)
                      .value<ArchivedRecords>();
    }

    std::optional<ArchivedRecords> records;
    QString share = u"Office"_qs;
    int reloads = 0;
};
